// The QXDetectNet object through its interface, as clients use it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <tuple>

#include "detect/dotnet_host_locator.h"
#include "detect/install_root_registry.h"
#include "detect/runtime_versions.h"
#include "qxnet/text.h"
#include "qxnet/variant.h"
#include "tests/detect/pe_image_builder.h"
#include "tests/support/com_test.h"
#include "tests/support/registry_dump.h"

namespace {

using detecttest::FakeDotNet;

constexpr const char16_t* kFrameworkKey = u"SOFTWARE\\Microsoft\\.NETFramework";

void SetInstallRootBytes(DWORD type, const void* data, size_t size) {
  qxtest::WriteRegistryValue(HKEY_LOCAL_MACHINE, kFrameworkKey, u"InstallRoot", type, data, size);
}

void SetInstallRoot(DWORD type, const std::u16string& data) {
  SetInstallRootBytes(type, data.data(), data.size() * sizeof(char16_t));
}

struct Answers {
  HRESULT presentHr = E_UNEXPECTED;
  VARIANT_BOOL present = 1;
  HRESULT rootHr = E_UNEXPECTED;
  std::u16string root;
  HRESULT versionsHr = E_UNEXPECTED;
  std::vector<std::u16string> versions;
  bool operator==(const Answers&) const = default;
};

std::vector<std::u16string> VersionsOf(const VARIANT& value) {
  std::vector<std::u16string> versions;
  EXPECT_EQ(value.vt, VT_ARRAY | VT_VARIANT);
  if (value.vt != (VT_ARRAY | VT_VARIANT)) return versions;
  LONG lower = -1;
  LONG upper = -1;
  EXPECT_EQ(SafeArrayGetLBound(value.parray, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(value.parray, 1, &upper), S_OK);
  EXPECT_EQ(lower, 0);
  for (LONG i = lower; i <= upper; ++i) {
    qx::Variant element;
    EXPECT_EQ(SafeArrayGetElement(value.parray, &i, element.Put()), S_OK);
    EXPECT_EQ(element.vt, VT_BSTR);
    versions.emplace_back(qx::BstrView(element.vt == VT_BSTR ? element.bstrVal : nullptr));
  }
  return versions;
}

Answers Ask(_QXDetectNet* detector) {
  Answers a;
  a.presentHr = detector->get_IsDotNetPresent(&a.present);
  qx::BStr root;
  a.rootHr = detector->get_InstallRootPath(root.Put());
  a.root = root.Text();
  qx::Variant versions;
  a.versionsHr = detector->get_CLRVersions(versions.Put());
  if (a.versionsHr == S_OK) a.versions = VersionsOf(versions);
  return a;
}

class QXDetectNetTest : public qxtest::ComTest {
 protected:
  void SetUp() override {
    qxtest::ComTest::SetUp();
    unsetenv("DOTNET_ROOT");
    detecttest::ClearInstallRootKey();
  }
  void TearDown() override {
    unsetenv("DOTNET_ROOT");
    detecttest::ClearInstallRootKey();
    qxtest::ComTest::TearDown();
  }

  // A fake install that DOTNET_ROOT points at.
  FakeDotNet& Install() {
    fake_.emplace(detecttest::TestFolder("dotnet"));
    setenv("DOTNET_ROOT", fake_->Root().c_str(), 1);
    return *fake_;
  }

  // True when this machine has a real host in a system folder, which the
  // "not installed" cases cannot hide.
  static bool MachineHasDotNet() {
    return qx::detect::LocateDotNetHost(qx::detect::DotNetHostCandidates()).has_value();
  }

  // Which class and interface a record names is the object frame's rule.
  void ExpectError(HRESULT hr, HRESULT expected, const std::string& description) {
    EXPECT_EQ(hr, expected);
    EXPECT_EQ(qxtest::TakeErrorText(), description);
  }

  std::optional<FakeDotNet> fake_;
};

TEST_F(QXDetectNetTest, ReportsAnInstallWithItsVersionsInListingOrder) {
  FakeDotNet& fake = Install();
  fake.AddRuntime("8.0.1", u"8.0.123.45607 @Commit: abc");
  fake.AddRuntime("6.0.2", u"6.0");
  fake.AddOtherFolder("tools");

  std::vector<std::u16string> expected;
  for (const auto& entry : std::filesystem::directory_iterator(fake.SharedFolder())) {
    const std::string name = entry.path().filename().string();
    if (name == "8.0.1") expected.push_back(u"8.0.123");
    if (name == "6.0.2") expected.push_back(u"6.0");
  }

  auto detector = qxtest::Create<_QXDetectNet>(CLSID_QXDetectNet);
  ASSERT_TRUE(detector);
  const Answers answers = Ask(detector.Get());
  EXPECT_EQ(std::tie(answers.presentHr, answers.present, answers.rootHr, answers.versionsHr),
            std::tuple(S_OK, VARIANT_BOOL(VARIANT_TRUE), S_OK, S_OK));
  EXPECT_EQ(answers.root, qx::Utf8ToUtf16(fake.SharedFolder()));
  EXPECT_EQ(answers.versions, expected);
}

TEST_F(QXDetectNetTest, NotInstalledWhenNoHostIsFound) {
  if (MachineHasDotNet()) GTEST_SKIP() << "this machine has a .NET host in a system folder";
  auto detector = qxtest::Create<_QXDetectNet>(CLSID_QXDetectNet);
  ASSERT_TRUE(detector);

  VARIANT_BOOL present = 1;
  EXPECT_EQ(detector->get_IsDotNetPresent(&present), S_OK);
  EXPECT_EQ(present, VARIANT_FALSE);

  // A registry value alone does not make the runtime present.
  SetInstallRoot(REG_SZ, u"/opt/framework/");
  qx::BStr root;
  ExpectError(detector->get_InstallRootPath(root.Put()), E_FAIL, ".Net is not installed");
  EXPECT_TRUE(root.IsNull());
  qx::Variant versions;
  ExpectError(detector->get_CLRVersions(versions.Put()), E_FAIL, ".Net is not installed");
  EXPECT_EQ(versions.vt, VT_EMPTY);
}

TEST_F(QXDetectNetTest, HostWithoutRuntimesHasARootButNoVersions) {
  FakeDotNet& fake = Install();
  fake.AddOtherFolder("tools");
  auto detector = qxtest::Create<_QXDetectNet>(CLSID_QXDetectNet);
  ASSERT_TRUE(detector);
  qx::BStr root;
  EXPECT_EQ(detector->get_InstallRootPath(root.Put()), S_OK);
  qx::Variant versions;
  ExpectError(detector->get_CLRVersions(versions.Put()), E_FAIL, ".Net is not installed");
}

TEST_F(QXDetectNetTest, RegistryInstallRootIsUsedAsStoredWhenItIsAString) {
  Install();
  // A framework folder elsewhere, named by the registry value.
  const std::string framework = detecttest::TestFolder("framework") + "/";
  std::filesystem::create_directories(framework + "v4.0.30319");
  detecttest::WriteFile(framework + "v4.0.30319/mscorlib.dll",
                        detecttest::PeWithFileVersion(u"4.8.4084.0 built by: NET48REL1"));
  auto detector = qxtest::Create<_QXDetectNet>(CLSID_QXDetectNet);
  ASSERT_TRUE(detector);

  for (DWORD type : {REG_SZ, REG_EXPAND_SZ}) {
    SetInstallRoot(type, qx::Utf8ToUtf16(framework) + u'\0');
    const Answers answers = Ask(detector.Get());
    EXPECT_EQ(answers.root, qx::Utf8ToUtf16(framework));
    EXPECT_EQ(answers.versions, std::vector<std::u16string>{u"4.8.4084"});
  }
}

TEST_F(QXDetectNetTest, InstallRootOf261CharactersOrMoreIsNotReported) {
  Install();
  auto detector = qxtest::Create<_QXDetectNet>(CLSID_QXDetectNet);
  ASSERT_TRUE(detector);
  qx::BStr root;
  SetInstallRoot(REG_SZ, std::u16string(260, u'r') + u'\0');
  EXPECT_EQ(detector->get_InstallRootPath(root.Put()), S_OK);
  EXPECT_EQ(root.Length(), 260u);
  SetInstallRoot(REG_SZ, std::u16string(261, u'r') + u'\0');
  ExpectError(detector->get_InstallRootPath(root.Put()), E_FAIL, ".Net is not installed");
}

// Which values the registry step takes; a value it refuses leaves the
// install root to the shared runtime folder (the install record's test).
TEST_F(QXDetectNetTest, ReadInstallRootTakesTextsAndTerminatesInsideTheBuffer) {
  char16_t buffer[8];
  EXPECT_FALSE(qx::detect::ReadInstallRoot(buffer, 8));  // no key yet
  const DWORD slashes = 0x2F2F2F2F;                      // bytes that would read as "//"
  SetInstallRootBytes(REG_DWORD, &slashes, sizeof slashes);
  EXPECT_FALSE(qx::detect::ReadInstallRoot(buffer, 8));
  SetInstallRoot(REG_BINARY, u"/opt/");
  EXPECT_FALSE(qx::detect::ReadInstallRoot(buffer, 8));
  SetInstallRoot(REG_MULTI_SZ, std::u16string(u"/a\0/b\0\0", 7));  // the first string
  ASSERT_TRUE(qx::detect::ReadInstallRoot(buffer, 8));
  EXPECT_EQ(std::u16string(buffer), u"/a");

  SetInstallRoot(REG_SZ, u"abcdefg");  // 7 characters, no terminator stored
  ASSERT_TRUE(qx::detect::ReadInstallRoot(buffer, 8));
  EXPECT_EQ(std::u16string(buffer), u"abcdefg");

  SetInstallRoot(REG_SZ, u"abcdefgh");  // fills the buffer: the last one is cut
  ASSERT_TRUE(qx::detect::ReadInstallRoot(buffer, 8));
  EXPECT_EQ(std::u16string(buffer), u"abcdefg");

  SetInstallRoot(REG_SZ, std::u16string(u"abcdefgh") + u'\0');  // does not fit
  EXPECT_FALSE(qx::detect::ReadInstallRoot(buffer, 8));
  EXPECT_FALSE(qx::detect::ReadInstallRoot(buffer, 4));
}

TEST_F(QXDetectNetTest, ManyThreadsGetTheSameAnswersFromOneObject) {
  FakeDotNet& fake = Install();
  fake.AddRuntime("8.0.1", u"8.0.123.45607");
  fake.AddRuntime("7.0.5", u"7.0.523.17405");
  fake.AddRuntime("6.0.2", std::nullopt);
  fake.AddOtherFolder("tools");
  auto detector = qxtest::Create<_QXDetectNet>(CLSID_QXDetectNet);
  ASSERT_TRUE(detector);
  const Answers reference = Ask(detector.Get());
  ASSERT_EQ(reference.versions.size(), 3u);

  constexpr int kThreads = 8;
  constexpr int kRounds = 10;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Each thread holds its own reference, as a client passing the
      // pointer to a worker would.
      qx::ComPtr<_QXDetectNet> mine(detector.Get());
      for (int round = 0; round < kRounds; ++round) {
        if (!(Ask(mine.Get()) == reference)) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

// Late-bound calls go through the object frame and the type library, whose
// tests cover them (a variant result included).
TEST_F(QXDetectNetTest, HasNoConnectionPoints) {
  auto detector = qxtest::Create<_QXDetectNet>(CLSID_QXDetectNet);
  ASSERT_TRUE(detector);
  qx::ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(detector->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
  qx::ComPtr<IConnectionPoint> point;
  EXPECT_NE(container->FindConnectionPoint(DIID___QXDetectNetEvents, point.Put()), S_OK);
}

}  // namespace

#include "tests/support/com_test.h"

#include "qxnet/text.h"

namespace qxtest {

namespace {
std::string g_root;
}

void SetTestRoot(const std::string& root) { g_root = root; }
const std::string& TestRoot() { return g_root; }

HRESULT RegisterModule() {
  static HRESULT result = DllRegisterServer();
  return result;
}

void ComTest::SetUp() { ASSERT_EQ(RegisterModule(), S_OK); }

void ComTest::TearDown() {
  ClearErrorRecord();
  EXPECT_EQ(DllCanUnloadNow(), S_OK) << "an object or a server lock outlived the test";
}

ErrorRecord TakeErrorRecord() {
  ErrorRecord record;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return record;
  record.present = true;
  info->GetGUID(&record.iid);
  qx::BStr source, description;
  info->GetSource(source.Put());
  info->GetDescription(description.Put());
  record.source = source.Text();
  record.description = description.Text();
  info->Release();
  return record;
}

std::string TakeErrorText() { return Narrow(TakeErrorRecord().description); }

void ClearErrorRecord() { SetErrorInfo(0, nullptr); }

std::string Narrow(std::u16string_view text) { return qx::Utf16ToUtf8(text); }

}  // namespace qxtest

// Fixtures and helpers shared by the test programs.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/module/module_exports.h"

namespace qxtest {

// The private folder of this test process (set up by the test main).
void SetTestRoot(const std::string& root);
const std::string& TestRoot();

// Registers libqxnet.so into this process's temporary registry (once).
HRESULT RegisterModule();

// Base fixture for tests that create the library's objects: the module is
// registered before the test, and after it no object or lock may be left.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Creates an object of the library by class identifier through the class
// registry, as every client does.
template <class T>
qx::ComPtr<T> Create(const CLSID& clsid) {
  qx::ComPtr<T> object;
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, qx_iid_of<T>::value, object.PutVoid());
  EXPECT_EQ(hr, S_OK) << "CoCreateInstance failed";
  return object;
}

// The thread's current error record, taken (and so cleared) from it.
struct ErrorRecord {
  bool present = false;
  GUID iid{};
  std::u16string source;
  std::u16string description;
};
ErrorRecord TakeErrorRecord();

// The description of the thread's error record as UTF-8, taken (and so
// cleared) from it; "" when there is none.
std::string TakeErrorText();

// Clears the thread's error record.
void ClearErrorRecord();

// UTF-8 view of a wide text, for readable assertion messages.
std::string Narrow(std::u16string_view text);

// Fixture for the tests of one object: a new I of class `clsid` before each
// test, with no error record left by its creation, released before the
// leak check.
template <class I, const CLSID& clsid>
class ObjectTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    object = Create<I>(clsid);
    ASSERT_TRUE(object);
    ClearErrorRecord();
  }
  void TearDown() override {
    object = nullptr;
    ComTest::TearDown();
  }
  qx::ComPtr<I> object;
};

}  // namespace qxtest

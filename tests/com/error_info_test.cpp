// Error records and the per-thread current record.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "qxnet/platform.h"

namespace {

// A finished record with the given description, owned by the caller.
IErrorInfo* MakeRecord(const char16_t* description) {
  ICreateErrorInfo* create = nullptr;
  EXPECT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(description));
  IErrorInfo* info = nullptr;
  EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  create->Release();
  return info;
}

// Makes the record current and drops the caller's reference.
void Post(const char16_t* description) {
  IErrorInfo* record = MakeRecord(description);
  SetErrorInfo(0, record);
  record->Release();
}

// Takes the current record: its description, or "<none>".
std::u16string TakeDescription() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return u"<none>";
  BSTR text = nullptr;
  info->GetDescription(&text);
  std::u16string result(text, SysStringLen(text));
  SysFreeString(text);
  info->Release();
  return result;
}

TEST(ErrorInfo, RecordKeepsItsFieldsUnderOneIdentity) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  EXPECT_EQ(create->SetGUID(IID_IDispatch), S_OK);
  EXPECT_EQ(create->SetSource(const_cast<LPOLESTR>(u"QXNet.QXNet.1")), S_OK);
  EXPECT_EQ(create->SetHelpContext(42), S_OK);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  IUnknown *viaCreate = nullptr, *viaInfo = nullptr;
  create->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaCreate));
  info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInfo));
  EXPECT_EQ(viaCreate, viaInfo);
  viaCreate->Release();
  viaInfo->Release();
  void* none = &none;
  EXPECT_EQ(info->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  GUID guid{};
  EXPECT_EQ(info->GetGUID(&guid), S_OK);
  EXPECT_EQ(guid, IID_IDispatch);
  BSTR source = nullptr, helpFile = nullptr;
  EXPECT_EQ(info->GetSource(&source), S_OK);
  EXPECT_EQ(std::u16string(source), u"QXNet.QXNet.1");
  EXPECT_EQ(info->GetHelpFile(&helpFile), S_OK);
  EXPECT_EQ(helpFile, nullptr);
  DWORD context = 0;
  EXPECT_EQ(info->GetHelpContext(&context), S_OK);
  EXPECT_EQ(context, 42u);
  SysFreeString(source);
  create->Release();
  info->Release();
}

TEST(ErrorInfo, GetHandsTheRecordOverAndClearsIt) {
  IErrorInfo* none = reinterpret_cast<IErrorInfo*>(&none);
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  EXPECT_EQ(none, nullptr);

  IErrorInfo* record = MakeRecord(u"first");
  ASSERT_EQ(SetErrorInfo(0, record), S_OK);
  ASSERT_EQ(SetErrorInfo(0, record), S_OK);  // the same record again stays alive
  record->Release();
  EXPECT_EQ(TakeDescription(), u"first");
  EXPECT_EQ(TakeDescription(), u"<none>");

  Post(u"second");
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(TakeDescription(), u"<none>");
  Post(u"third");
  Post(u"fourth");
  EXPECT_EQ(TakeDescription(), u"fourth");

  EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
}

TEST(ErrorInfo, EachThreadHasItsOwnRecord) {
  Post(u"main thread");
  std::u16string firstLook, seenByOther;
  std::thread other([&] {
    firstLook = TakeDescription();
    Post(u"other thread");
    seenByOther = TakeDescription();
    Post(u"left behind");  // released when the thread ends
  });
  other.join();
  EXPECT_EQ(firstLook, u"<none>");
  EXPECT_EQ(seenByOther, u"other thread");
  EXPECT_EQ(TakeDescription(), u"main thread");
}

}  // namespace

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

std::u16string DescriptionOf(IErrorInfo* info) {
  BSTR text = nullptr;
  EXPECT_EQ(info->GetDescription(&text), S_OK);
  std::u16string result = text ? std::u16string(text, SysStringLen(text)) : u"<null>";
  SysFreeString(text);
  return result;
}

TEST(ErrorInfo, RecordKeepsItsFields) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  const GUID iid = IID_IDispatch;
  EXPECT_EQ(create->SetGUID(iid), S_OK);
  EXPECT_EQ(create->SetSource(const_cast<LPOLESTR>(u"QXNet.QXNet.1")), S_OK);
  EXPECT_EQ(create->SetDescription(const_cast<LPOLESTR>(u"Invalid parameter")), S_OK);
  EXPECT_EQ(create->SetHelpContext(42), S_OK);

  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  IUnknown* viaCreate = nullptr;
  IUnknown* viaInfo = nullptr;
  create->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaCreate));
  info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInfo));
  EXPECT_EQ(viaCreate, viaInfo);  // one identity
  viaCreate->Release();
  viaInfo->Release();
  void* none = &none;
  EXPECT_EQ(info->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  GUID got{};
  EXPECT_EQ(info->GetGUID(&got), S_OK);
  EXPECT_EQ(got, iid);
  BSTR source = nullptr, helpFile = nullptr;
  EXPECT_EQ(info->GetSource(&source), S_OK);
  EXPECT_EQ(std::u16string(source), u"QXNet.QXNet.1");
  EXPECT_EQ(DescriptionOf(info), u"Invalid parameter");
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
  // Setting the same record again keeps it alive.
  ASSERT_EQ(SetErrorInfo(0, record), S_OK);
  record->Release();

  IErrorInfo* taken = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(DescriptionOf(taken), u"first");
  taken->Release();
  EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);

  // A null record clears the current one; a newer one replaces it.
  IErrorInfo* second = MakeRecord(u"second");
  SetErrorInfo(0, second);
  second->Release();
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);
  IErrorInfo* third = MakeRecord(u"third");
  IErrorInfo* fourth = MakeRecord(u"fourth");
  SetErrorInfo(0, third);
  SetErrorInfo(0, fourth);
  third->Release();
  fourth->Release();
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  EXPECT_EQ(DescriptionOf(taken), u"fourth");
  taken->Release();

  EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
}

TEST(ErrorInfo, EachThreadHasItsOwnRecord) {
  IErrorInfo* mine = MakeRecord(u"main thread");
  SetErrorInfo(0, mine);
  mine->Release();

  std::u16string seenByOther;
  HRESULT otherFirstLook = E_FAIL;
  std::thread other([&] {
    IErrorInfo* taken = nullptr;
    otherFirstLook = GetErrorInfo(0, &taken);
    IErrorInfo* theirs = MakeRecord(u"other thread");
    SetErrorInfo(0, theirs);
    theirs->Release();
    if (GetErrorInfo(0, &taken) == S_OK) {
      seenByOther = DescriptionOf(taken);
      taken->Release();
    }
    // Left set on purpose: released when the thread ends.
    IErrorInfo* leftBehind = MakeRecord(u"left behind");
    SetErrorInfo(0, leftBehind);
    leftBehind->Release();
  });
  other.join();
  EXPECT_EQ(otherFirstLook, S_FALSE);
  EXPECT_EQ(seenByOther, u"other thread");

  IErrorInfo* taken = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  EXPECT_EQ(DescriptionOf(taken), u"main thread");
  taken->Release();
}

}  // namespace

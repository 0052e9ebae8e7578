// Every result-only member of every class of the library, found through the
// type library's description: handed a null result pointer, it refuses the
// call and leaves an error record saying "Invalid parameter", from its class
// and for its interface.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "qxnet/com_ptr.h"
#include "server/type_library/type_library.h"
#include "tests/support/com_test.h"

namespace {

using qx::typelib::Dir;
using qx::typelib::InterfaceDesc;
using qx::typelib::MemberDesc;

// A member whose one parameter is its result: every getter without an
// index, and methods such as MarshallObject.
bool TakesOnlyAResult(const MemberDesc& member) {
  return member.paramCount == 1 && member.params[0].dir == Dir::OutRetval;
}

struct Answer {
  HRESULT result = E_POINTER;
  bool recorded = true;
};

// Where the answer differs, by class or by Class.Interface.member: the work
// unit and IsConnected answer E_INVALIDARG; the enumerator getters leave no
// record; lastCheckDate stores nothing, so it writes and checks nothing.
const std::map<std::string, Answer> kOtherAnswers = {
    {"UpdateWorkUnit", {E_INVALIDARG}},
    {"QXNet._QXNet.IsConnected", {E_INVALIDARG}},
    {"StringCollection.IStringCollection.__NewEnum", {E_POINTER, false}},
    {"UpdateChannels.IUpdateChannels.__NewEnum", {E_POINTER, false}},
    {"UpdateItems.IUpdateItems.__NewEnum", {E_POINTER, false}},
    {"UpdateChannel.IUpdateChannel.lastCheckDate", {S_OK, false}},
};

Answer ExpectedAnswer(const std::string& className, const std::string& memberPath) {
  for (const std::string& key : {memberPath, className}) {
    if (auto found = kOtherAnswers.find(key); found != kOtherAnswers.end()) return found->second;
  }
  return {};
}

using NullOutPointerTest = qxtest::ComTest;

TEST_F(NullOutPointerTest, EveryResultOnlyMemberOfEveryClassRefusesANullResult) {
  int checked = 0;
  for (const qx::typelib::CoclassDesc& coclass : qx::typelib::Coclasses()) {
    const std::string className = qxtest::Narrow(coclass.name);
    auto object = qxtest::Create<IUnknown>(*coclass.clsid);
    ASSERT_TRUE(object) << className;
    for (const InterfaceDesc* iface : {coclass.defaultInterface, coclass.otherInterface}) {
      if (iface == nullptr) continue;
      qx::ComPtr<IUnknown> self;
      ASSERT_EQ(object->QueryInterface(*iface->iid, self.PutVoid()), S_OK) << className;
      // Records name the class's first interface; the QXNet object's name none.
      const GUID& recordIid = className == "QXNet" ? IID_NULL : *coclass.defaultInterface->iid;
      for (const MemberDesc& member : iface->members) {
        if (!TakesOnlyAResult(member) || member.invoke == nullptr) continue;
        const std::string memberPath =
            className + "." + qxtest::Narrow(iface->name) + "." + qxtest::Narrow(member.name);
        const Answer expected = ExpectedAnswer(className, memberPath);
        qx::typelib::ArgSlot result{};
        result.ptr = nullptr;
        qxtest::ClearErrorRecord();
        EXPECT_EQ(member.invoke(self.Get(), &result), expected.result) << memberPath;
        const qxtest::ErrorRecord record = qxtest::TakeErrorRecord();
        EXPECT_EQ(record.present, expected.recorded) << memberPath;
        if (record.present) {
          EXPECT_EQ(record.description, u"Invalid parameter") << memberPath;
          EXPECT_EQ(record.source, coclass.progId) << memberPath;
          EXPECT_EQ(record.iid, recordIid) << memberPath;
        }
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 50) << "the description lists far more such members than were found";
}

}  // namespace

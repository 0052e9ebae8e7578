// The QXNet event source: connection point lookup, the cookie sequence of
// the connection list, connection enumeration and firing through each
// sink's IDispatch::Invoke.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "qxnet/com_ptr.h"
#include "server/event_source/qxnet_event_source.h"
#include "tests/support/com_test.h"
#include "tests/support/test_object.h"

namespace {

using qx::ComPtr;

// An object that is nothing but an event source.
class TestSource final : public qx::QXNetEventSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    const bool known = riid == IID_IUnknown || riid == IID_IConnectionPointContainer;
    *object = known ? static_cast<IConnectionPointContainer*>(this) : nullptr;
    if (!known) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }
  ULONG refs = 1;
};

// One recorded event call.
struct Call {
  DISPID id;
  bool nullIid;
  LCID lcid;
  WORD flags;
  UINT args, named;
  std::vector<VARTYPE> types;
  std::u16string title;
  BSTR titlePointer = nullptr;
  LONG progress = 0;
  VARIANT_BOOL cancelSeen = 0;
};

// A sink of __QXNetEvents that records calls and may answer through the
// cancel flag.
class Sink final : public qxtest::VtableOnlyObject<IDispatch> {
 public:
  explicit Sink(HRESULT queryResult = S_OK) : queryResult_(queryResult) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object && riid == DIID___QXNetEvents && queryResult_ != S_OK) {
      *object = nullptr;
      return queryResult_;
    }
    return VtableOnlyObject::QueryInterface(riid, object);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    Call call{id, riid == IID_NULL, lcid, flags, params->cArgs, params->cNamedArgs, {}, {}};
    for (UINT i = 0; i < params->cArgs; ++i) call.types.push_back(params->rgvarg[i].vt);
    if (id == 1 && params->cArgs == 3) {
      call.cancelSeen = *params->rgvarg[0].pboolVal;
      call.progress = params->rgvarg[1].lVal;
      call.titlePointer = params->rgvarg[2].bstrVal;
      call.title = qx::BstrView(call.titlePointer);
      if (answer) *params->rgvarg[0].pboolVal = *answer;
    }
    EXPECT_NE(result, nullptr);
    calls.push_back(call);
    if (onInvoke) onInvoke();
    return failInvoke ? E_FAIL : S_OK;
  }

  std::vector<Call> calls;
  const VARIANT_BOOL* answer = nullptr;
  bool failInvoke = false;
  std::function<void()> onInvoke;

 private:
  void* Find(REFIID riid) override {
    return riid == DIID___QXNetEvents ? static_cast<IDispatch*>(this)
                                      : VtableOnlyObject::Find(riid);
  }
  HRESULT queryResult_;
};

class EventSourceTest : public qxtest::ComTest {
 protected:
  void SetUp() override {
    qxtest::ComTest::SetUp();
    source = new TestSource;
    ASSERT_EQ(source->FindConnectionPoint(DIID___QXNetEvents, point.Put()), S_OK);
  }
  void TearDown() override {
    point = nullptr;
    EXPECT_EQ(source->refs, 1u);
    source->Release();
    for (Sink* sink : sinks) sink->Release();
    qxtest::ComTest::TearDown();
  }
  Sink* NewSink() {
    sinks.push_back(new Sink);
    return sinks.back();
  }
  DWORD Advise(Sink* sink) {
    DWORD cookie = 99;
    EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    return cookie;
  }
  std::vector<DWORD> Cookies() {
    ComPtr<IEnumConnections> e;
    EXPECT_EQ(point->EnumConnections(e.Put()), S_OK);
    std::vector<DWORD> cookies;
    CONNECTDATA data;
    while (e->Next(1, &data, nullptr) == S_OK) {
      cookies.push_back(data.dwCookie);
      data.pUnk->Release();
    }
    return cookies;
  }

  TestSource* source = nullptr;
  ComPtr<IConnectionPoint> point;
  std::vector<Sink*> sinks;
};

TEST_F(EventSourceTest, ContainerFindsOnlyTheEventInterface) {
  ComPtr<IConnectionPoint> other;
  EXPECT_EQ(source->FindConnectionPoint(IID_IDispatch, other.Put()), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(other);
  EXPECT_EQ(source->FindConnectionPoint(DIID___QXNetEvents, nullptr), E_POINTER);

  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(source->EnumConnectionPoints(points.Put()), S_OK);
  IConnectionPoint* listed[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(listed[0], point.Get());
  listed[0]->Release();

  IID iid{};
  ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(iid == DIID___QXNetEvents);
  EXPECT_EQ(point->GetConnectionInterface(nullptr), E_POINTER);
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(point->GetConnectionPointContainer(container.Put()), S_OK);
  EXPECT_EQ(container.Get(), static_cast<IConnectionPointContainer*>(source));
  container = nullptr;

  // The point counts on its owner and answers only its own interfaces.
  ULONG before = source->refs;
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(point->QueryInterface(IID_IUnknown, unknown.PutVoid()), S_OK);
  EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(point.Get()));
  EXPECT_EQ(source->refs, before + 1);
  unknown = nullptr;
  EXPECT_EQ(source->refs, before);
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(point->QueryInterface(IID_IDispatch, dispatch.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(point->QueryInterface(IID_IConnectionPoint, nullptr), E_POINTER);
}

TEST_F(EventSourceTest, CookiesFollowSlotsAndAreReused) {
  std::vector<DWORD> cookies;
  for (int i = 0; i < 5; ++i) cookies.push_back(Advise(NewSink()));
  EXPECT_EQ(cookies, (std::vector<DWORD>{1, 2, 3, 4, 5}));  // the fifth doubles to 8 slots
  EXPECT_EQ(sinks[0]->refs, 2u);

  ASSERT_EQ(point->Unadvise(2), S_OK);
  EXPECT_EQ(sinks[1]->refs, 1u);
  EXPECT_EQ(Cookies(), (std::vector<DWORD>{1, 3, 4, 5}));
  EXPECT_EQ(Advise(NewSink()), 2u);
  EXPECT_EQ(Advise(NewSink()), 6u);

  EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(9), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(8), CONNECT_E_NOCONNECTION);  // an empty slot
  EXPECT_EQ(point->Unadvise(3), S_OK);
  EXPECT_EQ(point->Unadvise(3), CONNECT_E_NOCONNECTION);
}

TEST_F(EventSourceTest, AdviseFailuresLeaveTheCookieZeroAndTakeNoSlot) {
  // No sink, a sink without the event interface, and one whose query fails otherwise.
  auto* notASink = new TestSource;
  auto* failing = new Sink(E_OUTOFMEMORY);
  const struct {
    IUnknown* sink;
    HRESULT hr;
  } cases[] = {{nullptr, E_POINTER}, {notASink, CONNECT_E_CANNOTCONNECT}, {failing, E_OUTOFMEMORY}};
  for (const auto& c : cases) {
    DWORD cookie = 7;
    EXPECT_EQ(point->Advise(c.sink, &cookie), c.hr);
    EXPECT_EQ(cookie, 0u);
  }
  EXPECT_EQ(point->Advise(NewSink(), nullptr), E_POINTER);
  EXPECT_EQ(failing->refs, 1u);
  notASink->Release();
  failing->Release();

  EXPECT_EQ(Advise(NewSink()), 1u);
}

TEST_F(EventSourceTest, EnumConnectionsIsACopyHoldingItsOwnReferences) {
  Sink* sink = NewSink();
  Advise(sink);
  ComPtr<IEnumConnections> e;
  ASSERT_EQ(point->EnumConnections(e.Put()), S_OK);
  EXPECT_EQ(point->EnumConnections(nullptr), E_POINTER);
  ASSERT_EQ(point->Unadvise(1), S_OK);
  EXPECT_EQ(sink->refs, 2u);  // the enumerator's copy

  ComPtr<IEnumConnections> clone;
  ASSERT_EQ(e->Clone(clone.Put()), S_OK);
  CONNECTDATA data[2];
  ULONG fetched = 0;
  EXPECT_EQ(e->Next(2, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(data[0].dwCookie, 1u);
  EXPECT_EQ(data[0].pUnk, static_cast<IUnknown*>(sink));
  data[0].pUnk->Release();
  EXPECT_EQ(e->Next(2, data, nullptr), E_POINTER);
  EXPECT_EQ(clone->Skip(1), S_OK);
  EXPECT_EQ(clone->Next(1, data, nullptr), S_FALSE);
  e = nullptr;
  clone = nullptr;
  EXPECT_EQ(sink->refs, 1u);
}

TEST_F(EventSourceTest, OnProgressPassesArgumentsInDispatchOrder) {
  qx::BStr title(u"Downloading file (1 kb/2 kb)");
  VARIANT_BOOL cancel = 123;
  EXPECT_EQ(source->Fire_OnProgress(title.Get(), 1, &cancel), S_OK);  // no sinks
  EXPECT_EQ(cancel, 123);
  EXPECT_EQ(source->Fire_End(), S_OK);

  Sink* sink = NewSink();
  Advise(sink);
  cancel = 0;
  ASSERT_EQ(source->Fire_OnProgress(title.Get(), 42, &cancel), S_OK);
  ASSERT_EQ(source->Fire_End(), S_OK);

  ASSERT_EQ(sink->calls.size(), 2u);
  const auto header = [](const Call& c) {
    return std::tuple(c.id, c.nullIid, c.lcid, c.flags, c.args, c.named);
  };
  const WORD method = DISPATCH_METHOD;
  EXPECT_EQ(header(sink->calls[0]), std::tuple(DISPID(1), true, LCID(0x400), method, 3u, 0u));
  EXPECT_EQ(header(sink->calls[1]), std::tuple(DISPID(2), true, LCID(0x400), method, 0u, 0u));
  const Call& progress = sink->calls[0];
  EXPECT_EQ(progress.types, (std::vector<VARTYPE>{VARTYPE(VT_BOOL | VT_BYREF), VT_I4, VT_BSTR}));
  EXPECT_EQ(progress.progress, 42);
  EXPECT_EQ(progress.title, u"Downloading file (1 kb/2 kb)");
  EXPECT_EQ(progress.titlePointer, title.Get());  // the caller's string, not a copy
}

TEST_F(EventSourceTest, EverySinkSeesTheFlagTheOnesBeforeItLeft) {
  const VARIANT_BOOL cancelIt = VARIANT_TRUE, withdraw = VARIANT_FALSE;
  Sink *first = NewSink(), *second = NewSink(), *third = NewSink();
  for (Sink* sink : {first, second, third}) Advise(sink);
  qx::BStr title(u"t");

  first->answer = &cancelIt;
  second->answer = &withdraw;
  VARIANT_BOOL cancel = 0;
  source->Fire_OnProgress(title.Get(), 5, &cancel);
  EXPECT_EQ(cancel, 0);  // the later sink withdrew the request
  EXPECT_EQ(second->calls.back().cancelSeen, -1);
  EXPECT_EQ(third->calls.back().cancelSeen, 0);

  second->answer = nullptr;  // writes nothing: the first sink's answer stands
  first->failInvoke = true;  // and a failing sink does not stop the others
  source->Fire_OnProgress(title.Get(), 6, &cancel);
  EXPECT_EQ(cancel, -1);
  EXPECT_EQ(third->calls.size(), 2u);

  EXPECT_EQ(source->Fire_OnProgress(title.Get(), 7, nullptr), S_OK);  // no flag: still safe
  EXPECT_EQ(third->calls.size(), 3u);
}

TEST_F(EventSourceTest, ASinkThatDisconnectsWhileFiringIsSkippedAfterwards) {
  Sink *leaving = NewSink(), *stays = NewSink();
  DWORD leavingCookie = Advise(leaving);
  Advise(stays);
  // The first sink disconnects the second, then itself, during the event.
  leaving->onInvoke = [&] {
    point->Unadvise(2);
    point->Unadvise(leavingCookie);
  };
  ASSERT_EQ(source->Fire_End(), S_OK);
  EXPECT_EQ(leaving->calls.size(), 1u);
  EXPECT_TRUE(stays->calls.empty());
  EXPECT_EQ(leaving->refs, 1u);
  EXPECT_TRUE(Cookies().empty());
}

TEST_F(EventSourceTest, SinksStillConnectedAreReleasedWithTheObject) {
  Sink* sink = NewSink();
  point = nullptr;
  auto* owner = new TestSource;
  ComPtr<IConnectionPoint> ownerPoint;
  owner->FindConnectionPoint(DIID___QXNetEvents, ownerPoint.Put());
  DWORD cookie = 0;
  ASSERT_EQ(ownerPoint->Advise(sink, &cookie), S_OK);
  ownerPoint = nullptr;
  EXPECT_EQ(sink->refs, 2u);
  owner->Release();
  EXPECT_EQ(sink->refs, 1u);
  ASSERT_EQ(source->FindConnectionPoint(DIID___QXNetEvents, point.Put()), S_OK);
}

}  // namespace

// The state a QXNet object's transfers share: what its progress reports
// hand the sinks, which answer cancels, and the connection cache, keyed by
// host and port and closed with the state.
#include <gtest/gtest.h>

#include <vector>

#include "net/request_pipeline/qxnet_exception.h"
#include "net/transfer_state.h"
#include "qxnet/com_ptr.h"
#include "tests/qxnet/qxnet_fixture.h"

namespace qxnettest {
namespace {

namespace inet = qx::inet;
using qx::net::CQXNetException;
using qx::net::TransferState;

// An object that is nothing but an event source, on the test's stack.
class EventSource final : public qx::QXNetEventSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = riid == IID_IUnknown || riid == IID_IConnectionPointContainer
                  ? static_cast<IConnectionPointContainer*>(this)
                  : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

class TransferStateTest : public qxtest::ComTest {
 protected:
  void SetUp() override {
    qxtest::ComTest::SetUp();
    ASSERT_EQ(events.FindConnectionPoint(DIID___QXNetEvents, point.Put()), S_OK);
    ASSERT_EQ(point->Advise(sink, &cookie), S_OK);
  }
  void TearDown() override {
    point->Unadvise(cookie);
    point = nullptr;
    sink->Release();
    qxtest::ComTest::TearDown();
  }

  EventSource events;
  TransferState transfer{events, CLSID_QXNet, IID_NULL};
  qx::ComPtr<IConnectionPoint> point;
  RecordingSink* sink = new RecordingSink;
  DWORD cookie = 0;
};

TEST_F(TransferStateTest, ProgressAbove100IsKeptAndReportedAs80) {
  const struct {
    int32_t reported;
    long seen;
  } cases[] = {{5, 5}, {100, 100}, {101, 80}, {-3, -3}};
  for (const auto& c : cases) {
    transfer.OnProgress(u"step", c.reported);
    EXPECT_EQ(sink->reports.back().second, c.seen) << c.reported;
    EXPECT_EQ(transfer.Progress(), c.seen) << c.reported;
  }
  transfer.OnProgress(u"step", 400);
  transfer.AdvanceProgress(u"next");
  EXPECT_EQ(sink->reports.back(), (Report{"next", 81}));
}

TEST_F(TransferStateTest, OnlyTheAutomationTrueCancels) {
  sink->cancelAtTitle = "goes on";
  sink->cancelAnswer = 1;
  EXPECT_NO_THROW(transfer.AdvanceProgress(u"goes on"));
  sink->cancelAtTitle = "stops";
  sink->cancelAnswer = VARIANT_TRUE;
  try {
    transfer.AdvanceProgress(u"stops");
    ADD_FAILURE() << "no cancel";
  } catch (const CQXNetException& failure) {
    EXPECT_EQ(failure.Message(), u"Canceled");
  }
  EXPECT_EQ(sink->reports.size(), 2u);
}

TEST(TransferStateConnections, KeyedByHostAndPortAndClosedWithTheState) {
  EventSource events;
  const auto open = [] {
    return inet::InternetOpenW(u"agent", inet::INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  };
  const inet::HINTERNET session = open();
  const inet::HINTERNET http = open();
  const inet::HINTERNET alternate = open();
  ASSERT_TRUE(session && http && alternate);
  {
    TransferState transfer(events, CLSID_QXNet, IID_NULL);
    transfer.Session() = session;
    EXPECT_EQ(transfer.CachedConnection(u"host", 80), nullptr);
    transfer.CacheConnection(u"host", 80, http);
    transfer.CacheConnection(u"host", 8080, alternate);
    EXPECT_EQ(transfer.CachedConnection(u"host", 80), http);
    EXPECT_EQ(transfer.CachedConnection(u"host", 8080), alternate);
    EXPECT_EQ(transfer.CachedConnection(u"other", 80), nullptr);
  }
  // Every handle the state held is closed already.
  for (inet::HINTERNET handle : {session, http, alternate}) {
    EXPECT_FALSE(inet::InternetCloseHandle(handle));
  }
}

}  // namespace
}  // namespace qxnettest

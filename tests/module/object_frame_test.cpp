// The object base every class is built on: identity, counting, aggregation,
// the module lock, error records and the dispatch entry points.
#include <gtest/gtest.h>

#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"
#include "tests/support/com_test.h"

namespace {

// A minimal class on the frame. It borrows the StringCollection identity so
// that its error records carry a registered ProgID.
class FrameProbe final : public qx::DispatchObject<FrameProbe, IStringCollection,
                                                   qx::SingleThreaded, qx::NoConnectionPoints> {
 public:
  static constexpr const CLSID& kClsid = CLSID_StringCollection;
  static inline HRESULT constructResult = S_OK;
  static inline int alive = 0;

  FrameProbe() { ++alive; }
  ~FrameProbe() override { --alive; }
  HRESULT FinalConstruct() { return constructResult; }

  HRESULT STDMETHODCALLTYPE Item(LONG, BSTR*) override {
    return Error(u"Invalid index", E_INVALIDARG);
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    if (!count) return Error(u"Invalid parameter", E_POINTER);
    *count = 7;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Add(BSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InCollection(BSTR, VARIANT_BOOL*) override { return S_OK; }
};

// An outer object that counts the references its aggregated inner object
// forwards to it.
struct CountingOuter final : IUnknown {
  ULONG refs = 1;
  IUnknown* inner = nullptr;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

class ObjectFrame : public qxtest::ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    FrameProbe::constructResult = S_OK;
  }
  qx::ComPtr<IStringCollection> NewProbe() {
    qx::ComPtr<IStringCollection> probe;
    EXPECT_EQ(qx::CreateComObject<FrameProbe>(nullptr, IID_IStringCollection, probe.PutVoid()),
              S_OK);
    return probe;
  }
};

TEST_F(ObjectFrame, IdentityAndInterfacesAreConsistent) {
  auto probe = NewProbe();
  auto unknown1 = qx::QueryAs<IUnknown>(probe.Get());
  auto dispatch = qx::QueryAs<IDispatch>(probe.Get());
  auto unknown2 = qx::QueryAs<IUnknown>(dispatch.Get());
  ASSERT_TRUE(unknown1 && dispatch);
  EXPECT_EQ(unknown1.Get(), unknown2.Get());
  EXPECT_EQ(static_cast<IDispatch*>(probe.Get()), dispatch.Get());
  EXPECT_TRUE(qx::QueryAs<IConnectionPointContainer>(probe.Get()));
  EXPECT_FALSE(qx::QueryAs<IUpdateItem>(probe.Get()));
  void* none = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(probe->QueryInterface(IID_IUpdateItem, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(ObjectFrame, LiveObjectsHoldTheModuleAndAreFreedAtZero) {
  {
    auto probe = NewProbe();
    EXPECT_EQ(FrameProbe::alive, 1);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(FrameProbe::alive, 0);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ObjectFrame, FailedConstructionDestroysTheObject) {
  FrameProbe::constructResult = E_OUTOFMEMORY;
  IStringCollection* probe = reinterpret_cast<IStringCollection*>(0x1);
  EXPECT_EQ(qx::CreateComObject<FrameProbe>(nullptr, IID_IStringCollection,
                                            reinterpret_cast<void**>(&probe)),
            E_OUTOFMEMORY);
  EXPECT_EQ(probe, nullptr);
  EXPECT_EQ(FrameProbe::alive, 0);
}

TEST_F(ObjectFrame, AggregationDelegatesToTheOuterUnknown) {
  CountingOuter outer;
  void* object = nullptr;
  EXPECT_EQ(qx::CreateComObject<FrameProbe>(&outer, IID_IStringCollection, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);

  ASSERT_EQ(qx::CreateComObject<FrameProbe>(&outer, IID_IUnknown, &object), S_OK);
  outer.inner = static_cast<IUnknown*>(object);
  IStringCollection* strings = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IStringCollection, reinterpret_cast<void**>(&strings)),
            S_OK);
  const ULONG before = outer.refs;
  strings->AddRef();
  EXPECT_EQ(outer.refs, before + 1);  // counted by the outer object
  IUnknown* identity = nullptr;
  strings->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  EXPECT_EQ(identity, &outer);  // identity is the outer object's
  identity->Release();
  strings->Release();
  strings->Release();
  EXPECT_EQ(FrameProbe::alive, 1);
  outer.inner->Release();  // the outer object's own reference to the inner one
  EXPECT_EQ(FrameProbe::alive, 0);
}

TEST_F(ObjectFrame, ClassFactoryRefusesAggregationForOtherInterfaces) {
  qx::ComPtr<IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(CLSID_StringCollection, IID_IClassFactory, factory.PutVoid()), S_OK);
  CountingOuter outer;
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
}

TEST_F(ObjectFrame, ErrorRecordsCarrySourceInterfaceAndDescription) {
  auto probe = NewProbe();
  auto support = qx::QueryAs<ISupportErrorInfo>(probe.Get());
  ASSERT_TRUE(support);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IStringCollection), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IUnknown), S_FALSE);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

  EXPECT_EQ(probe->get_Count(nullptr), E_POINTER);
  qxtest::ErrorRecord record = qxtest::TakeErrorRecord();
  ASSERT_TRUE(record.present);
  EXPECT_EQ(record.description, u"Invalid parameter");
  EXPECT_EQ(record.source, u"QXNet.StringCollection.1");
  EXPECT_EQ(record.iid, IID_IStringCollection);

  LONG count = 0;
  EXPECT_EQ(probe->get_Count(&count), S_OK);  // success leaves no new record
  EXPECT_FALSE(qxtest::TakeErrorRecord().present);
}

TEST_F(ObjectFrame, DispatchEntryPointsFollowTheTypeLibrary) {
  auto probe = NewProbe();
  UINT count = 0;
  EXPECT_EQ(probe->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
  EXPECT_EQ(probe->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
  ASSERT_EQ(probe->GetTypeInfo(0, 0, &info), S_OK);
  info->Release();

  OLECHAR name[] = u"COUNT";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  ASSERT_EQ(probe->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 1);
  DISPPARAMS none{};
  VARIANT result{};
  ASSERT_EQ(probe->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 7);

  EXPECT_EQ(probe->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  VariantClear(&result);
}

}  // namespace

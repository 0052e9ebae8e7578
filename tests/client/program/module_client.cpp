// A stand-alone client of the component runtime. It knows the binary
// contract only: interfaces are tables of functions in slot order, strings
// are length-prefixed UTF-16, and classes are found by ProgID or class
// identifier. Usage: module_client PROGID|{CLSID}
// Creates a StringCollection, adds two strings through the vtable, reads the
// count and an element back, and prints "count=N item1=TEXT".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

typedef int32_t HRESULT;
struct Guid {
  uint32_t d1;
  uint16_t d2, d3;
  uint8_t d4[8];
};
typedef char16_t* Bstr;

extern "C" {
HRESULT CLSIDFromString(const char16_t*, Guid*);
HRESULT CoCreateInstance(const Guid&, void*, uint32_t, const Guid&, void**);
Bstr SysAllocString(const char16_t*);
void SysFreeString(Bstr);
uint32_t SysStringLen(Bstr);
void CoFreeUnusedLibraries(void);
}

// IStringCollection as a client sees it: IUnknown (3 slots), IDispatch
// (4 slots), then Item, get_Count, get__NewEnum, Add, InCollection.
struct StringCollection {
  virtual HRESULT QueryInterface(const Guid&, void**) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual HRESULT GetTypeInfoCount(unsigned*) = 0;
  virtual HRESULT GetTypeInfo(unsigned, uint32_t, void**) = 0;
  virtual HRESULT GetIDsOfNames(const Guid&, char16_t**, unsigned, uint32_t, int32_t*) = 0;
  virtual HRESULT Invoke(int32_t, const Guid&, uint32_t, uint16_t, void*, void*, void*,
                         unsigned*) = 0;
  virtual HRESULT Item(int32_t index, Bstr* item) = 0;
  virtual HRESULT get_Count(int32_t* count) = 0;
  virtual HRESULT get__NewEnum(void** enumerator) = 0;
  virtual HRESULT Add(Bstr item) = 0;
  virtual HRESULT InCollection(Bstr text, int16_t* found) = 0;
};

static const Guid kIStringCollection = {
    0x5D4195D1, 0x149D, 0x4869, {0x94, 0x70, 0xA7, 0x7B, 0xC6, 0xD7, 0x26, 0x83}};

static std::u16string Widen(const char* text) {
  std::u16string out;
  for (const char* p = text; *p; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

static std::string Narrow(Bstr text) {
  std::string out;
  for (uint32_t i = 0; text && i < SysStringLen(text); ++i)
    out.push_back(static_cast<char>(text[i]));
  return out;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: module_client PROGID|{CLSID}\n");
    return 2;
  }
  Guid clsid;
  HRESULT hr = CLSIDFromString(Widen(argv[1]).c_str(), &clsid);
  if (hr < 0) {
    std::printf("CLSIDFromString failed 0x%08X\n", static_cast<unsigned>(hr));
    return 1;
  }
  StringCollection* strings = nullptr;
  hr = CoCreateInstance(clsid, nullptr, 1, kIStringCollection, reinterpret_cast<void**>(&strings));
  if (hr < 0 || !strings) {
    std::printf("CoCreateInstance failed 0x%08X\n", static_cast<unsigned>(hr));
    return 1;
  }
  Bstr first = SysAllocString(u"first");
  Bstr second = SysAllocString(u"second");
  strings->Add(first);
  strings->Add(second);
  SysFreeString(first);
  SysFreeString(second);
  int32_t count = 0;
  strings->get_Count(&count);
  Bstr item = nullptr;
  strings->Item(1, &item);
  std::printf("count=%d item1=%s\n", count, Narrow(item).c_str());
  SysFreeString(item);
  strings->Release();
  CoFreeUnusedLibraries();
  return 0;
}

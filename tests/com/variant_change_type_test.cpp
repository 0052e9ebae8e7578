// VariantChangeType: the coercion table, failures, by-reference sources,
// in-place conversion, boolean and date text, and objects' default values.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "qxnet/platform.h"
#include "qxnet/text.h"
#include "tests/com/counting_object.h"
#include "tests/support/german_locale.h"

namespace {

using comtest::CountingObject;

// A VARIANT that clears itself.
struct Var : VARIANT {
  Var() { VariantInit(this); }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};

// Each setter releases what the variant held before.
Var* Reset(Var* v, VARTYPE vt) {
  VariantClear(v);
  v->vt = vt;
  return v;
}
Var* I4(Var* v, LONG value) {
  Reset(v, VT_I4)->lVal = value;
  return v;
}
Var* R8(Var* v, double value) {
  Reset(v, VT_R8)->dblVal = value;
  return v;
}
Var* Bool(Var* v, bool value) {
  Reset(v, VT_BOOL)->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
Var* Date(Var* v, double value) {
  Reset(v, VT_DATE)->date = value;
  return v;
}
Var* Str(Var* v, std::u16string_view text) {
  Reset(v, VT_BSTR)->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

std::string Narrow(const char16_t* text) { return qx::Utf16ToUtf8(text); }

std::u16string Text(const VARIANT& v) {
  return v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : std::u16string();
}

// Converts to text; "<failed>" on failure so the table reads compactly.
std::u16string AsText(const VARIANT& src, USHORT flags = 0) {
  Var out;
  const HRESULT hr = VariantChangeType(&out, &src, flags, VT_BSTR);
  if (FAILED(hr)) return u"<failed>";
  EXPECT_EQ(out.vt, VT_BSTR);
  return Text(out);
}

HRESULT To(VARTYPE vt, const VARIANT& src, Var* out, USHORT flags = 0) {
  return VariantChangeType(out, &src, flags, vt);
}

// Converts to `vt` and shows the result as text; "<failed>" on failure.
std::u16string Converted(VARTYPE vt, const VARIANT& src) {
  Var out;
  if (FAILED(To(vt, src, &out))) return u"<failed>";
  EXPECT_EQ(out.vt, vt);
  return AsText(out);
}

TEST(VariantChangeType, NumbersToText) {
  Var v;
  const struct {
    double value;
    const char16_t* text;
  } reals[] = {{1.5, u"1.5"},    {0.1, u"0.1"},    {-0.0, u"0"},
               {1e20, u"1E+20"}, {1e-5, u"1E-05"}, {1.0 / 3.0, u"0.333333333333333"}};
  for (const auto& r : reals) EXPECT_EQ(AsText(*R8(&v, r.value)), r.text) << r.value;
  EXPECT_EQ(AsText(*I4(&v, -42)), u"-42");
  v.vt = VT_R4;
  v.fltVal = 0.1f;
  EXPECT_EQ(AsText(v), u"0.1");
  v.vt = VT_UI8;
  v.ullVal = UINT64_MAX;
  EXPECT_EQ(AsText(v), u"18446744073709551615");
  v.vt = VT_EMPTY;
  EXPECT_EQ(AsText(v), u"");
}

TEST(VariantChangeType, NumberTextIgnoresTheProcessLocale) {
  if (!qxtest::UseGermanLocale()) GTEST_SKIP() << "no decimal-comma locale available";
  Var v, out;
  EXPECT_EQ(AsText(*R8(&v, 1234.5)), u"1234.5");
  v.vt = VT_R4;
  v.fltVal = 0.25f;
  EXPECT_EQ(AsText(v), u"0.25");
  EXPECT_EQ(Converted(VT_R8, *Str(&v, u"2.25")), u"2.25");
  EXPECT_EQ(To(VT_R8, *Str(&v, u"2,25"), &out), DISP_E_TYPEMISMATCH);
  std::setlocale(LC_ALL, "C");
}

TEST(VariantChangeType, TextToNumbers) {
  Var v, out;
  EXPECT_EQ(Converted(VT_I4, *Str(&v, u"  -17 ")), u"-17");
  EXPECT_EQ(Converted(VT_I2, *Str(&v, u"+2.5")), u"2");  // half to even
  EXPECT_EQ(Converted(VT_R8, *Str(&v, u"1.25E2")), u"125");
  EXPECT_EQ(Converted(VT_I8, *Str(&v, u"9223372036854775807")), u"9223372036854775807");

  for (const char16_t* bad :
       {u"", u"  ", u"12abc", u"1.2.3", u"0x10", u"1e", u"inf", u"nan", u"- 1", u"1,000"}) {
    EXPECT_EQ(To(VT_I4, *Str(&v, bad), &out), DISP_E_TYPEMISMATCH);
  }
  const struct {
    VARTYPE vt;
    const char16_t* text;
  } overflows[] = {
      {VT_I2, u"40000"}, {VT_UI1, u"-1"}, {VT_R8, u"1e400"}, {VT_I8, u"9223372036854775808"}};
  for (const auto& o : overflows) EXPECT_EQ(To(o.vt, *Str(&v, o.text), &out), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, RealsRoundHalfToEvenAndOverflow) {
  const struct {
    double in;
    LONG out;
  } cases[] = {{0.5, 0},
               {1.5, 2},
               {2.5, 2},
               {-1.5, -2},
               {-2.5, -2},
               {2.5001, 3},
               {-2147483648.4, INT32_MIN},
               {2147483647.4, INT32_MAX}};
  Var v, out;
  for (const auto& c : cases) {
    ASSERT_EQ(To(VT_I4, *R8(&v, c.in), &out), S_OK) << c.in;
    EXPECT_EQ(out.lVal, c.out) << c.in;
  }
  const struct {
    VARTYPE vt;
    double in;
  } overflows[] = {{VT_I4, 2147483647.5}, {VT_I2, 32767.5},  {VT_I8, 1e19},
                   {VT_I4, std::nan("")}, {VT_I4, HUGE_VAL}, {VT_R4, 1e300}};
  for (const auto& o : overflows) EXPECT_EQ(To(o.vt, *R8(&v, o.in), &out), DISP_E_OVERFLOW) << o.in;
  EXPECT_EQ(To(VT_I2, *R8(&v, -32768.5), &out), S_OK);  // rounds to even -32768
  ASSERT_EQ(To(VT_UI1, *I4(&v, 255), &out), S_OK);
  EXPECT_EQ(To(VT_I2, *I4(&v, 70000), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(out.vt, VT_UI1);  // a failed conversion leaves the destination as it was
  EXPECT_EQ(out.bVal, 255);
}

TEST(VariantChangeType, Booleans) {
  Var v, out;
  EXPECT_EQ(AsText(*Bool(&v, true), VARIANT_ALPHABOOL), u"True");
  EXPECT_EQ(AsText(*Bool(&v, false), VARIANT_ALPHABOOL), u"False");
  EXPECT_EQ(AsText(*Bool(&v, true)), u"-1");
  for (const char16_t* yes : {u"true", u" TRUE ", u"-1", u"3", u"0.5"})
    EXPECT_EQ(Converted(VT_BOOL, *Str(&v, yes)), u"-1") << Narrow(yes);
  for (const char16_t* no : {u"fAlSe", u"0", u"0.0"})
    EXPECT_EQ(Converted(VT_BOOL, *Str(&v, no)), u"0") << Narrow(no);
  EXPECT_EQ(To(VT_BOOL, *Str(&v, u"yes"), &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_BOOL, *Str(&v, u""), &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Converted(VT_I4, *Bool(&v, true)), u"-1");
}

TEST(VariantChangeType, EmptyNullAndUnsupportedTypes) {
  Var empty, null, out;
  null.vt = VT_NULL;
  EXPECT_EQ(Converted(VT_I4, empty), u"0");
  ASSERT_EQ(To(VT_BSTR, empty, &out), S_OK);
  ASSERT_NE(out.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(out.bstrVal), 0u);
  ASSERT_EQ(To(VT_DISPATCH, empty, &out), S_OK);
  EXPECT_EQ(out.pdispVal, nullptr);
  for (VARTYPE vt : {VT_I4, VT_BSTR, VT_DATE, VT_EMPTY, VT_DISPATCH})
    EXPECT_EQ(To(vt, null, &out), DISP_E_TYPEMISMATCH) << vt;
  ASSERT_EQ(To(VT_NULL, null, &out), S_OK);

  Var v;
  I4(&v, 1);
  for (VARTYPE vt : std::initializer_list<VARTYPE>{VT_CY, VT_VARIANT, 0x7F})
    EXPECT_EQ(To(vt, v, &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(VT_ARRAY | VT_I4, v, &out), DISP_E_TYPEMISMATCH);
  v.vt = 0x7F;
  EXPECT_EQ(To(VT_I4, v, &out), DISP_E_BADVARTYPE);
  Reset(&v, VT_ERROR)->scode = E_FAIL;
  EXPECT_EQ(To(VT_I4, v, &out), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ByReferenceSourcesAndInPlaceConversion) {
  LONG number = 41;
  BSTR text = SysAllocString(u"12");
  Var ref, out;
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &number;
  EXPECT_EQ(Converted(VT_BSTR, ref), u"41");
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &text;
  ASSERT_EQ(To(VT_BSTR, ref, &out), S_OK);  // same type: a by-value copy
  EXPECT_NE(out.bstrVal, text);
  EXPECT_EQ(Text(out), u"12");
  Var inner;
  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = Str(&inner, u"2.5");
  EXPECT_EQ(Converted(VT_R8, ref), u"2.5");
  ref.vt = VT_EMPTY;  // nothing owned
  SysFreeString(text);

  Var v;
  Str(&v, u"  77");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.lVal, 77);
  Str(&v, u"seventy");
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Text(v), u"seventy");  // a failure keeps the value
}

TEST(VariantChangeType, DatesToAndFromText) {
  Var v, out;
  const struct {
    double date;
    const char16_t* text;
  } written[] = {
      {36892.0, u"1/1/2001"},
      {36892.75, u"1/1/2001 6:00:00 PM"},
      {36892.0 + 30.0 / 86400, u"1/1/2001 12:00:30 AM"},
      {0.5, u"12:00:00 PM"},
      {0.0, u"12:00:00 AM"},
      {-1.25, u"12/29/1899 6:00:00 AM"},
      {-657434.0, u"1/1/0100"},
      {2958465.0 + 86399.0 / 86400, u"12/31/9999 11:59:59 PM"},
      {3e6, u"<failed>"},
  };
  for (const auto& w : written) EXPECT_EQ(AsText(*Date(&v, w.date)), w.text) << w.date;

  const struct {
    const char16_t* text;
    double date;
  } readable[] = {
      {u"1/1/2001 6:00:00 PM", 36892.75}, {u"1/1/2001 12:00 am", 36892.0},
      {u"12/29/1899 6:00:00 AM", -1.25},  {u"6:00 PM", 0.75},
      {u"2001-01-01T18:00:00", 36892.75}, {u"1/1/01", 36892.0},
  };
  for (const auto& r : readable) {
    ASSERT_EQ(To(VT_DATE, *Str(&v, r.text), &out), S_OK) << Narrow(r.text);
    EXPECT_DOUBLE_EQ(out.date, r.date);
  }
  for (const char16_t* bad : {u"", u"2/30/2001", u"13/1/2001", u"1/1/2001 25:00", u"13:00 PM",
                              u"2001-1-1", u"tomorrow", u"1/1/2001 6:00:00 PM extra"}) {
    EXPECT_EQ(To(VT_DATE, *Str(&v, bad), &out), DISP_E_TYPEMISMATCH) << Narrow(bad);
  }
  // Numbers are dates within the valid range only.
  EXPECT_EQ(Converted(VT_DATE, *I4(&v, 2)), u"1/1/1900");
  for (double bad : {2958466.0, -657435.0, std::nan("")})
    EXPECT_EQ(To(VT_DATE, *R8(&v, bad), &out), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, ObjectsGiveTheirDefaultValue) {
  CountingObject object;
  Var value, src, out;
  object.SetDefaultValue(*Str(&value, u"123"));
  Reset(&src, VT_DISPATCH)->pdispVal = &object;
  object.AddRef();
  EXPECT_EQ(Converted(VT_I4, src), u"123");
  EXPECT_EQ(Converted(VT_BSTR, src), u"123");
  EXPECT_EQ(To(VT_I4, src, &out, VARIANT_NOVALUEPROP), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(object.invokeCalls(), 2);
  object.FailInvokeWith(DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(To(VT_I4, src, &out), DISP_E_MEMBERNOTFOUND);
  VariantClear(&out);
  VariantClear(&src);
  EXPECT_EQ(object.refs(), 0u);
}

TEST(VariantChangeType, DispatchAndUnknownByQueryInterface) {
  CountingObject dispatchable;
  CountingObject plain(/*dispatchable=*/false);
  Var src, out, unknown, number;
  Reset(&src, VT_DISPATCH)->pdispVal = &dispatchable;
  dispatchable.AddRef();
  ASSERT_EQ(To(VT_UNKNOWN, src, &out), S_OK);
  EXPECT_EQ(dispatchable.refs(), 2u);
  ASSERT_EQ(To(VT_DISPATCH, out, &out), S_OK);
  EXPECT_EQ(out.vt, VT_DISPATCH);
  EXPECT_EQ(dispatchable.refs(), 2u);

  Reset(&unknown, VT_UNKNOWN)->punkVal = &plain;
  plain.AddRef();
  EXPECT_EQ(To(VT_DISPATCH, unknown, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_BSTR, unknown, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_UNKNOWN, *I4(&number, 1), &out), DISP_E_TYPEMISMATCH);
  VariantClear(&out);
  VariantClear(&src);
  VariantClear(&unknown);
  EXPECT_EQ(dispatchable.refs(), 0u);
  EXPECT_EQ(plain.refs(), 0u);
}

}  // namespace

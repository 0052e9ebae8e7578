// VariantChangeType: the coercion table, failures, by-reference sources,
// in-place conversion, boolean and date text, and objects' default values.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "qxnet/platform.h"
#include "tests/com/counting_object.h"

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
Var* I4(Var* v, LONG value) {
  VariantClear(v);
  v->vt = VT_I4;
  v->lVal = value;
  return v;
}
Var* R8(Var* v, double value) {
  VariantClear(v);
  v->vt = VT_R8;
  v->dblVal = value;
  return v;
}
Var* Str(Var* v, std::u16string_view text) {
  VariantClear(v);
  v->vt = VT_BSTR;
  v->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}
Var* Bool(Var* v, bool value) {
  VariantClear(v);
  v->vt = VT_BOOL;
  v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
Var* Date(Var* v, double value) {
  VariantClear(v);
  v->vt = VT_DATE;
  v->date = value;
  return v;
}

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

TEST(VariantChangeType, NumbersToText) {
  Var v;
  EXPECT_EQ(AsText(*I4(&v, -42)), u"-42");
  EXPECT_EQ(AsText(*I4(&v, 1234567)), u"1234567");
  EXPECT_EQ(AsText(*R8(&v, 1.5)), u"1.5");
  EXPECT_EQ(AsText(*R8(&v, 0.1)), u"0.1");
  EXPECT_EQ(AsText(*R8(&v, -0.0)), u"0");
  EXPECT_EQ(AsText(*R8(&v, 1e20)), u"1E+20");
  EXPECT_EQ(AsText(*R8(&v, 1e-5)), u"1E-05");
  EXPECT_EQ(AsText(*R8(&v, 1.0 / 3.0)), u"0.333333333333333");
  v.vt = VT_R4;
  v.fltVal = 0.1f;
  EXPECT_EQ(AsText(v), u"0.1");
  v.vt = VT_UI1;
  v.bVal = 200;
  EXPECT_EQ(AsText(v), u"200");
  v.vt = VT_I8;
  v.llVal = -9000000000000000000LL;
  EXPECT_EQ(AsText(v), u"-9000000000000000000");
  v.vt = VT_UI8;
  v.ullVal = UINT64_MAX;
  EXPECT_EQ(AsText(v), u"18446744073709551615");
  v.vt = VT_EMPTY;
  EXPECT_EQ(AsText(v), u"");
}

// Switches the process to a locale with a decimal comma, building one into
// the test's temporary folder when the machine has none installed.
bool UseDecimalCommaLocale() {
  auto active = [] {
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    return std::string(probe) == "1,5";
  };
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") && active()) return true;
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp/") + "/qx-locales";
  const std::string command = "mkdir -p '" + dir + "' && localedef -i de_DE -f UTF-8 '" + dir +
                              "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") && active();
}

TEST(VariantChangeType, NumberTextIgnoresTheProcessLocale) {
  if (!UseDecimalCommaLocale()) GTEST_SKIP() << "no decimal-comma locale available";
  Var v, out;
  EXPECT_EQ(AsText(*R8(&v, 1234.5)), u"1234.5");
  v.vt = VT_R4;
  v.fltVal = 0.25f;
  EXPECT_EQ(AsText(v), u"0.25");
  EXPECT_EQ(To(VT_R8, *Str(&v, u"2.25"), &out), S_OK);
  EXPECT_EQ(out.dblVal, 2.25);
  EXPECT_EQ(To(VT_R8, *Str(&v, u"2,25"), &out), DISP_E_TYPEMISMATCH);
  std::setlocale(LC_ALL, "C");
}

TEST(VariantChangeType, TextToNumbers) {
  Var v, out;
  ASSERT_EQ(To(VT_I4, *Str(&v, u"  -17 "), &out), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, -17);
  ASSERT_EQ(To(VT_I2, *Str(&v, u"+2.5"), &out), S_OK);
  EXPECT_EQ(out.iVal, 2);  // half to even
  ASSERT_EQ(To(VT_R8, *Str(&v, u"1.25E2"), &out), S_OK);
  EXPECT_EQ(out.dblVal, 125.0);
  ASSERT_EQ(To(VT_I8, *Str(&v, u"9223372036854775807"), &out), S_OK);
  EXPECT_EQ(out.llVal, std::numeric_limits<int64_t>::max());

  for (const char16_t* bad : {u"", u"  ", u"abc", u"12abc", u"1.2.3", u"0x10", u"1e", u"inf",
                              u"nan", u"- 1", u"1,000"}) {
    EXPECT_EQ(To(VT_I4, *Str(&v, bad), &out), DISP_E_TYPEMISMATCH);
  }
  EXPECT_EQ(To(VT_I2, *Str(&v, u"40000"), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_UI1, *Str(&v, u"-1"), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_R8, *Str(&v, u"1e400"), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I8, *Str(&v, u"9223372036854775808"), &out), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, RealsRoundHalfToEvenAndOverflow) {
  const struct {
    double in;
    LONG out;
  } cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2},
               {2.5001, 3}, {-2147483648.4, INT32_MIN}, {2147483647.4, INT32_MAX}};
  Var v, out;
  for (const auto& c : cases) {
    ASSERT_EQ(To(VT_I4, *R8(&v, c.in), &out), S_OK) << c.in;
    EXPECT_EQ(out.lVal, c.out) << c.in;
  }
  EXPECT_EQ(To(VT_I4, *R8(&v, 2147483647.5), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I2, *R8(&v, 32767.5), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I2, *R8(&v, -32768.5), &out), S_OK);  // rounds to even -32768
  EXPECT_EQ(To(VT_I8, *R8(&v, 1e19), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I4, *R8(&v, std::nan("")), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I4, *R8(&v, HUGE_VAL), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_R4, *R8(&v, 1e300), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_I2, *I4(&v, 70000), &out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(VT_UI1, *I4(&v, 255), &out), S_OK);
  EXPECT_EQ(out.bVal, 255);
  // A failed conversion leaves the destination as it was.
  EXPECT_EQ(out.vt, VT_UI1);
}

TEST(VariantChangeType, Booleans) {
  Var v, out;
  EXPECT_EQ(AsText(*Bool(&v, true), VARIANT_ALPHABOOL), u"True");
  EXPECT_EQ(AsText(*Bool(&v, false), VARIANT_ALPHABOOL), u"False");
  EXPECT_EQ(AsText(*Bool(&v, true)), u"-1");
  EXPECT_EQ(AsText(*Bool(&v, false)), u"0");

  for (const char16_t* yes : {u"True", u"true", u"TRUE", u" True ", u"-1", u"3", u"0.5"}) {
    ASSERT_EQ(To(VT_BOOL, *Str(&v, yes), &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  }
  for (const char16_t* no : {u"False", u"fAlSe", u"0", u"0.0"}) {
    ASSERT_EQ(To(VT_BOOL, *Str(&v, no), &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  }
  EXPECT_EQ(To(VT_BOOL, *Str(&v, u"yes"), &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_BOOL, *Str(&v, u""), &out), DISP_E_TYPEMISMATCH);

  ASSERT_EQ(To(VT_BOOL, *I4(&v, 7), &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  ASSERT_EQ(To(VT_I4, *Bool(&v, true), &out), S_OK);
  EXPECT_EQ(out.lVal, -1);
}

TEST(VariantChangeType, EmptyAndNull) {
  Var empty, null, out;
  null.vt = VT_NULL;
  ASSERT_EQ(To(VT_I4, empty, &out), S_OK);
  EXPECT_EQ(out.lVal, 0);
  ASSERT_EQ(To(VT_BOOL, empty, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  ASSERT_EQ(To(VT_BSTR, empty, &out), S_OK);
  ASSERT_NE(out.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(out.bstrVal), 0u);
  ASSERT_EQ(To(VT_DISPATCH, empty, &out), S_OK);
  EXPECT_EQ(out.pdispVal, nullptr);

  for (VARTYPE vt : {VT_I4, VT_BSTR, VT_BOOL, VT_DATE, VT_R8, VT_EMPTY, VT_DISPATCH})
    EXPECT_EQ(To(vt, null, &out), DISP_E_TYPEMISMATCH) << vt;
  ASSERT_EQ(To(VT_NULL, null, &out), S_OK);
  EXPECT_EQ(out.vt, VT_NULL);
}

TEST(VariantChangeType, UnsupportedTypes) {
  Var v, out;
  I4(&v, 1);
  EXPECT_EQ(To(VT_CY, v, &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(VT_VARIANT, v, &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(0x7F, v, &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(To(VT_ARRAY | VT_I4, v, &out), DISP_E_TYPEMISMATCH);
  v.vt = 0x7F;
  EXPECT_EQ(To(VT_I4, v, &out), DISP_E_BADVARTYPE);
  v.vt = VT_ERROR;
  v.scode = E_FAIL;
  EXPECT_EQ(To(VT_I4, v, &out), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ByReferenceSourcesAreRead) {
  LONG number = 41;
  BSTR text = SysAllocString(u"12");
  Var ref, out;
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &number;
  ASSERT_EQ(To(VT_BSTR, ref, &out), S_OK);
  EXPECT_EQ(Text(out), u"41");

  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &text;
  ASSERT_EQ(To(VT_I2, ref, &out), S_OK);
  EXPECT_EQ(out.iVal, 12);
  // Same type: a by-value copy owning its own string.
  ASSERT_EQ(To(VT_BSTR, ref, &out), S_OK);
  EXPECT_NE(out.bstrVal, text);
  EXPECT_EQ(Text(out), u"12");

  Var inner;
  Str(&inner, u"2.5");
  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = &inner;
  ASSERT_EQ(To(VT_R8, ref, &out), S_OK);
  EXPECT_EQ(out.dblVal, 2.5);
  ref.vt = VT_EMPTY;  // nothing owned
  SysFreeString(text);
}

TEST(VariantChangeType, InPlaceConversion) {
  Var v;
  Str(&v, u"  77");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 77);
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Text(v), u"77");
  // A failure keeps the value.
  Str(&v, u"seventy");
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Text(v), u"seventy");
}

TEST(VariantChangeType, DatesToAndFromText) {
  Var v, out;
  EXPECT_EQ(AsText(*Date(&v, 36892.0)), u"1/1/2001");
  EXPECT_EQ(AsText(*Date(&v, 36892.75)), u"1/1/2001 6:00:00 PM");
  EXPECT_EQ(AsText(*Date(&v, 36892.0 + 30.0 / 86400)), u"1/1/2001 12:00:30 AM");
  EXPECT_EQ(AsText(*Date(&v, 0.5)), u"12:00:00 PM");
  EXPECT_EQ(AsText(*Date(&v, 0.0)), u"12:00:00 AM");
  EXPECT_EQ(AsText(*Date(&v, -1.25)), u"12/29/1899 6:00:00 AM");
  EXPECT_EQ(AsText(*Date(&v, -657434.0)), u"1/1/0100");
  EXPECT_EQ(AsText(*Date(&v, 2958465.0 + 86399.0 / 86400)), u"12/31/9999 11:59:59 PM");
  EXPECT_EQ(AsText(*Date(&v, 3e6)), u"<failed>");

  const struct {
    const char16_t* text;
    double date;
  } readable[] = {
      {u"1/1/2001", 36892.0},
      {u"1/1/2001 6:00:00 PM", 36892.75},
      {u"1/1/2001 12:00 am", 36892.0},
      {u"12/29/1899 6:00:00 AM", -1.25},
      {u"6:00 PM", 0.75},
      {u"2001-01-01", 36892.0},
      {u"2001-01-01 18:00", 36892.75},
      {u"2001-01-01T18:00:00", 36892.75},
      {u"1/1/01", 36892.0},
  };
  for (const auto& r : readable) {
    ASSERT_EQ(To(VT_DATE, *Str(&v, r.text), &out), S_OK);
    EXPECT_DOUBLE_EQ(out.date, r.date);
  }
  for (const char16_t* bad : {u"", u"2/30/2001", u"13/1/2001", u"1/1/2001 25:00", u"13:00 PM",
                              u"2001-1-1", u"tomorrow", u"1/1/2001 6:00:00 PM extra"}) {
    EXPECT_EQ(To(VT_DATE, *Str(&v, bad), &out), DISP_E_TYPEMISMATCH);
  }

  // Numbers are dates within the valid range only.
  ASSERT_EQ(To(VT_DATE, *I4(&v, 2), &out), S_OK);
  EXPECT_EQ(out.date, 2.0);
  EXPECT_EQ(To(VT_DATE, *R8(&v, 2958466.0), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_DATE, *R8(&v, -657435.0), &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(VT_DATE, *R8(&v, std::nan("")), &out), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, ObjectsGiveTheirDefaultValue) {
  CountingObject object;
  Var value;
  object.SetDefaultValue(*Str(&value, u"123"));
  Var src, out;
  src.vt = VT_DISPATCH;
  src.pdispVal = &object;
  object.AddRef();

  ASSERT_EQ(To(VT_I4, src, &out), S_OK);
  EXPECT_EQ(out.lVal, 123);
  ASSERT_EQ(To(VT_BSTR, src, &out), S_OK);
  EXPECT_EQ(Text(out), u"123");
  EXPECT_EQ(object.invokeCalls(), 2);

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
  Var src, out;
  src.vt = VT_DISPATCH;
  src.pdispVal = &dispatchable;
  dispatchable.AddRef();
  ASSERT_EQ(To(VT_UNKNOWN, src, &out), S_OK);
  EXPECT_EQ(out.vt, VT_UNKNOWN);
  EXPECT_EQ(dispatchable.refs(), 2u);
  ASSERT_EQ(To(VT_DISPATCH, out, &out), S_OK);
  EXPECT_EQ(out.vt, VT_DISPATCH);
  EXPECT_EQ(dispatchable.refs(), 2u);

  Var unknown;
  unknown.vt = VT_UNKNOWN;
  unknown.punkVal = &plain;
  plain.AddRef();
  EXPECT_EQ(To(VT_DISPATCH, unknown, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(VT_BSTR, unknown, &out), DISP_E_TYPEMISMATCH);
  Var number;
  EXPECT_EQ(To(VT_UNKNOWN, *I4(&number, 1), &out), DISP_E_TYPEMISMATCH);

  VariantClear(&out);
  VariantClear(&src);
  VariantClear(&unknown);
  EXPECT_EQ(dispatchable.refs(), 0u);
  EXPECT_EQ(plain.refs(), 0u);
}

}  // namespace

#include "server/module/registration_script.h"

#include <array>

namespace qx {

namespace {

std::u16string GuidText(const GUID& guid) {
  std::array<OLECHAR, 40> text{};
  StringFromGUID2(guid, text.data(), static_cast<INT>(text.size()));
  return text.data();
}

}  // namespace

std::u16string RegistrationScript(const ClassEntry& entry) {
  const std::u16string clsid = GuidText(entry.clsid);
  const std::u16string libid = GuidText(LIBID_QXNETLib);
  const std::u16string& description = entry.description;
  std::u16string s;
  s += u"HKCR\n{\n";
  s += u"\t" + entry.progId + u" = s '" + description + u"'\n\t{\n";
  s += u"\t\tCLSID = s '" + clsid + u"'\n\t}\n";
  s += u"\t" + entry.versionIndependentProgId + u" = s '" + description + u"'\n\t{\n";
  s += u"\t\tCLSID = s '" + clsid + u"'\n";
  s += u"\t\tCurVer = s '" + entry.progId + u"'\n\t}\n";
  s += u"\tNoRemove CLSID\n\t{\n";
  s += u"\t\tForceRemove " + clsid + u" = s '" + description + u"'\n\t\t{\n";
  s += u"\t\t\tProgID = s '" + entry.progId + u"'\n";
  s += u"\t\t\tVersionIndependentProgID = s '" + entry.versionIndependentProgId + u"'\n";
  s += u"\t\t\tForceRemove 'Programmable'\n";
  s += u"\t\t\tInprocServer32 = s '%MODULE%'\n\t\t\t{\n";
  s += u"\t\t\t\tval ThreadingModel = s '" + entry.threadingModel + u"'\n\t\t\t}\n";
  s += u"\t\t\t'TypeLib' = s '" + libid + u"'\n";
  s += u"\t\t}\n\t}\n}\n";
  return s;
}

}  // namespace qx

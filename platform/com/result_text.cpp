// Result code to text: the messages of the runtime's result codes, of the
// Win32 codes that the runtime and the internet service report, and of the
// internet service's own codes, for FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM).
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "qxnet/platform.h"
#include "qxnet/text.h"

namespace qx {

namespace {

struct MessageEntry {
  uint32_t code;
  const char* text;
};

// Result codes (HRESULT values) of the runtime.
constexpr MessageEntry kResultMessages[] = {
    {0x00000000u, "The operation completed successfully."},
    {0x00000001u, "The operation completed; the answer is no (S_FALSE)."},
    {0x80004001u, "Not implemented."},
    {0x80004002u, "No such interface supported."},
    {0x80004003u, "Invalid pointer."},
    {0x80004004u, "Operation aborted."},
    {0x80004005u, "Unspecified error."},
    {0x8000FFFFu, "Catastrophic failure."},
    {0x80040110u, "Class does not support aggregation (or class object is remote)."},
    {0x80040111u, "The class factory cannot supply the requested class."},
    {0x80040150u, "Could not read the key from the registry."},
    {0x80040151u, "Could not write the key to the registry."},
    {0x80040152u, "Could not find the key in the registry."},
    {0x80040154u, "Class not registered."},
    {0x80040200u, "The connection does not exist."},
    {0x80040201u, "The connection point has reached its limit of connections."},
    {0x80040202u, "The connection point cannot accept this sink."},
    {0x800401F3u, "Invalid class string: no class is registered under this name."},
    {0x800401F8u, "The module of the class (InprocServer32) was not found."},
    {0x800401F9u, "The module of the class failed to load or lacks its entry points."},
    {0x80020001u, "Unknown interface."},
    {0x80020003u, "Member not found."},
    {0x80020004u, "Parameter not found."},
    {0x80020005u, "Type mismatch."},
    {0x80020006u, "Unknown name."},
    {0x80020007u, "No named arguments."},
    {0x80020008u, "Bad variable type."},
    {0x80020009u, "Exception occurred."},
    {0x8002000Au, "Out of present range."},
    {0x8002000Bu, "Invalid index."},
    {0x8002000Cu, "Unknown language."},
    {0x8002000Du, "Memory is locked."},
    {0x8002000Eu, "Invalid number of parameters."},
    {0x8002000Fu, "Parameter not optional."},
    {0x8002801Du, "Library not registered."},
    {0x8002802Bu, "Element not found."},
};

// Win32 codes, looked up by number and as HRESULT_FROM_WIN32.
constexpr MessageEntry kWin32Messages[] = {
    {0, "The operation completed successfully."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {14, "Not enough memory resources are available to complete this operation."},
    {32, "The file is being used by another process."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {206, "The file name or extension is too long."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {1009, "The configuration registry database is corrupt."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1015, "The registry is corrupted."},
    {1018, "The registry key has been marked for deletion."},
    {1223, "The operation was canceled by the user."},
    // The internet service's codes.
    {12001, "No more internet handles could be generated at this time."},
    {12002, "The operation timed out."},
    {12004, "An internal error occurred in the internet service."},
    {12005, "The URL is invalid."},
    {12006, "The URL does not use a recognized protocol."},
    {12007, "The server name or address could not be resolved."},
    {12009, "The option is invalid."},
    {12014, "The password was not accepted (login failed)."},
    {12017, "The operation was canceled."},
    {12018, "The handle is of the wrong type for the requested operation."},
    {12019, "The operation cannot be carried out in the handle's current state."},
    {12029, "A connection with the server could not be established."},
    {12030, "The connection with the server was terminated abnormally."},
    {12031, "The connection with the server was reset."},
    {12032, "The request must be sent again."},
    {12037, "The server's security certificate has expired or is not yet valid."},
    {12038, "The server's security certificate does not match the host name."},
    {12044, "The server requests a client certificate."},
    {12045, "The server's security certificate was issued by an untrusted authority."},
    {12057, "The revocation of the server's security certificate could not be checked."},
    {12150, "The requested header was not found."},
    {12152, "The server returned an invalid or unrecognized response."},
    {12153, "The header is invalid."},
    {12154, "The header query is invalid."},
    {12156, "The redirection failed (a scheme change or too many redirections)."},
    {12157, "An error occurred in the secure channel."},
    {12163, "The internet connection has been lost (the computer is off line)."},
    {12169, "The server's security certificate is invalid."},
};

const char* Find(const MessageEntry* begin, const MessageEntry* end, uint32_t code) {
  for (const MessageEntry* entry = begin; entry != end; ++entry)
    if (entry->code == code) return entry->text;
  return nullptr;
}

// The text of a result code: the runtime's own codes first, then Win32
// codes given either bare or wrapped as HRESULT_FROM_WIN32.
const char* MessageFor(uint32_t code) {
  if (const char* text = Find(std::begin(kResultMessages), std::end(kResultMessages), code))
    return text;
  constexpr uint32_t kWin32Facility = 0x80070000u;
  if ((code & 0xFFFF0000u) == kWin32Facility)
    code &= 0xFFFFu;
  else if (code > 0xFFFFu)
    return nullptr;
  return Find(std::begin(kWin32Messages), std::end(kWin32Messages), code);
}

constexpr DWORD kSupportedFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                  FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_MAX_WIDTH_MASK;

}  // namespace

}  // namespace qx

extern "C" DWORD FormatMessageW(DWORD dwFlags, const void* /*lpSource*/, DWORD dwMessageId,
                                DWORD /*dwLanguageId*/, LPWSTR lpBuffer, DWORD nSize,
                                void* /*Arguments*/) {
  if ((dwFlags & ~qx::kSupportedFlags) != 0 || (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
      !lpBuffer)
    return 0;
  const char* text = qx::MessageFor(dwMessageId);
  if (!text) return 0;
  std::u16string message = qx::Utf8ToUtf16(text);
  message += u"\r\n";
  const size_t bytes = (message.size() + 1) * sizeof(char16_t);
  char16_t* out = lpBuffer;
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    out = static_cast<char16_t*>(std::malloc(bytes));
    if (!out) return 0;
    *reinterpret_cast<LPWSTR*>(lpBuffer) = out;
  } else if (nSize < message.size() + 1) {
    return 0;
  }
  std::memcpy(out, message.c_str(), bytes);
  return static_cast<DWORD>(message.size());
}

extern "C" HLOCAL LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}

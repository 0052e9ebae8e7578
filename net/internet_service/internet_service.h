// The internet service: HTTP client, URL canonicaliser, connected state and
// internet cache, with the operations, flags, error numbers and result
// conventions of the desktop platform's internet API, built on libcurl
// (transfers and URL parsing) and SQLite (the cache index).
//
// Conventions shared by every operation:
//   - Strings are zero-terminated UTF-16 (char16_t). Lengths of text buffers
//     are in characters unless the operation says bytes.
//   - Operations returning BOOL answer TRUE on success; on failure they answer
//     FALSE and set the calling thread's last error (GetLastError), whose text
//     GetErrorMessage gives. Operations returning a handle answer nullptr on
//     failure.
//   - Handles (HINTERNET) are opaque; nullptr is none. A request, connection
//     or session is closed with InternetCloseHandle; a connection or request
//     keeps what it needs of its parents alive, so handles may be closed in
//     any order.
//   - Every call is synchronous and blocking. A handle may be used from any
//     thread, one call at a time per session.
//
// Times in cache entries are FILETIME values: 100-nanosecond intervals since
// 1 January 1601 UTC, split into two 32-bit halves.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "qxnet/platform.h"

namespace qx::inet {

// ---------------------------------------------------------------- handles

struct InternetHandle;              // opaque
using HINTERNET = InternetHandle*;  // nullptr is none
using INTERNET_PORT = uint16_t;

// ---------------------------------------------------------------- constants

// InternetOpenW access types.
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;  // proxies from the environment
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;     // no proxy at all

// InternetConnectW.
constexpr INTERNET_PORT INTERNET_DEFAULT_PORT = 0;  // 80 plain, 443 secure
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;
constexpr DWORD INTERNET_SERVICE_HTTP = 3;

// HttpOpenRequestW flags. The cache flags are accepted and have no effect on
// the transfer (this HTTP client never reads or writes the cache by itself).
// The two certificate "ignore" flags are accepted and NOT honoured:
// certificates are always verified, host name and dates included.
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;           // https
constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;  // always the case
constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
constexpr DWORD INTERNET_FLAG_NO_COOKIES = 0x00080000;
constexpr DWORD INTERNET_FLAG_CACHE_IF_NET_FAIL = 0x00010000;
constexpr DWORD INTERNET_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
constexpr DWORD INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
constexpr DWORD INTERNET_FLAG_RESYNCHRONIZE = 0x00000800;
constexpr DWORD INTERNET_FLAG_NO_UI = 0x00000200;
constexpr DWORD INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;
constexpr DWORD INTERNET_FLAG_NEED_FILE = 0x00000010;

// HttpQueryInfoW levels (low 16 bits) and modifiers (high bits).
constexpr DWORD HTTP_QUERY_CONTENT_TYPE = 1;
constexpr DWORD HTTP_QUERY_CONTENT_TRANSFER_ENCODING = 2;
constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_CONTENT_LANGUAGE = 6;
constexpr DWORD HTTP_QUERY_DATE = 9;
constexpr DWORD HTTP_QUERY_EXPIRES = 10;
constexpr DWORD HTTP_QUERY_LAST_MODIFIED = 11;
constexpr DWORD HTTP_QUERY_PRAGMA = 17;
constexpr DWORD HTTP_QUERY_VERSION = 18;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD HTTP_QUERY_STATUS_TEXT = 20;
constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;
constexpr DWORD HTTP_QUERY_CONNECTION = 23;
constexpr DWORD HTTP_QUERY_CONTENT_ENCODING = 29;
constexpr DWORD HTTP_QUERY_LOCATION = 33;
constexpr DWORD HTTP_QUERY_SERVER = 37;
constexpr DWORD HTTP_QUERY_WWW_AUTHENTICATE = 40;
constexpr DWORD HTTP_QUERY_PROXY_AUTHENTICATE = 41;
constexpr DWORD HTTP_QUERY_ETAG = 54;
constexpr DWORD HTTP_QUERY_CUSTOM = 65535;                // buffer holds the header name on entry
constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;      // DWORD result
constexpr DWORD HTTP_QUERY_FLAG_SYSTEMTIME = 0x40000000;  // SYSTEMTIME (UTC) result

// InternetErrorDlg.
constexpr DWORD FLAGS_ERROR_UI_FILTER_FOR_ERRORS = 0x01;
constexpr DWORD FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS = 0x02;
constexpr DWORD FLAGS_ERROR_UI_FLAGS_GENERATE_DATA = 0x04;

// InternetQueryOptionW.
constexpr DWORD INTERNET_OPTION_CONNECTED_STATE = 50;
constexpr DWORD INTERNET_STATE_CONNECTED = 0x01;
constexpr DWORD INTERNET_STATE_DISCONNECTED = 0x02;
constexpr DWORD INTERNET_STATE_DISCONNECTED_BY_USER = 0x10;

// InternetCrackUrlW scheme numbers.
enum INTERNET_SCHEME : int {
  INTERNET_SCHEME_UNKNOWN = -1,
  INTERNET_SCHEME_DEFAULT = 0,
  INTERNET_SCHEME_FTP = 1,
  INTERNET_SCHEME_GOPHER = 2,
  INTERNET_SCHEME_HTTP = 3,
  INTERNET_SCHEME_HTTPS = 4,
  INTERNET_SCHEME_FILE = 5,
  INTERNET_SCHEME_NEWS = 6,
  INTERNET_SCHEME_MAILTO = 7,
};

// Cache entry types and SetUrlCacheEntryInfoW field masks.
constexpr DWORD NORMAL_CACHE_ENTRY = 0x00000001;
constexpr DWORD CACHE_ENTRY_ATTRIBUTE_FC = 0x00000004;
constexpr DWORD CACHE_ENTRY_MODTIME_FC = 0x00000040;
constexpr DWORD CACHE_ENTRY_EXPTIME_FC = 0x00000080;
constexpr DWORD CACHE_ENTRY_ACCTIME_FC = 0x00000100;
constexpr DWORD CACHE_ENTRY_SYNCTIME_FC = 0x00000200;

constexpr DWORD MAX_PATH = 260;  // CreateUrlCacheEntryW's buffer holds MAX_PATH + 1

// Last-error numbers set by this service (besides ERROR_FILE_NOT_FOUND and
// the other ERROR_* of qxnet/platform.h).
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_CANCELLED = 1223;
constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr DWORD ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_INTERNET_FORCE_RETRY = 12032;
constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
constexpr DWORD ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED = 12044;
constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
constexpr DWORD ERROR_INTERNET_SEC_CERT_REV_FAILED = 12057;
constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr DWORD ERROR_HTTP_INVALID_HEADER = 12153;
constexpr DWORD ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
constexpr DWORD ERROR_INTERNET_DISCONNECTED = 12163;
constexpr DWORD ERROR_INTERNET_SEC_INVALID_CERT = 12169;

// ---------------------------------------------------------------- records

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct URL_COMPONENTSW {
  DWORD dwStructSize;
  char16_t* lpszScheme;
  DWORD dwSchemeLength;
  INTERNET_SCHEME nScheme;
  char16_t* lpszHostName;
  DWORD dwHostNameLength;
  INTERNET_PORT nPort;
  char16_t* lpszUserName;
  DWORD dwUserNameLength;
  char16_t* lpszPassword;
  DWORD dwPasswordLength;
  char16_t* lpszUrlPath;
  DWORD dwUrlPathLength;
  char16_t* lpszExtraInfo;
  DWORD dwExtraInfoLength;
};

// A cache entry. The texts point into the same buffer, after the record;
// the size an entry needs is reported by the size queries.
struct INTERNET_CACHE_ENTRY_INFOW {
  DWORD dwStructSize;
  char16_t* lpszSourceUrlName;
  char16_t* lpszLocalFileName;  // absolute path inside the cache folder
  DWORD CacheEntryType;
  DWORD dwUseCount;  // present lock count
  DWORD dwHitRate;   // times retrieved
  DWORD dwSizeLow;   // local file size at commit
  DWORD dwSizeHigh;
  FILETIME LastModifiedTime;
  FILETIME ExpireTime;
  FILETIME LastAccessTime;
  FILETIME LastSyncTime;
  char16_t* lpHeaderInfo;  // always nullptr
  DWORD dwHeaderInfoSize;
  char16_t* lpszFileExtension;
  DWORD dwExemptDelta;
};

// ---------------------------------------------------------------- last error

DWORD GetLastError();
void SetLastError(DWORD code);
// The text for a code: for the thread's present last error, the detail of the
// layer that failed (libcurl's error text, the system's strerror text); for
// other codes, a fixed description. Empty when the code is unknown or 0.
std::u16string GetErrorMessage(DWORD code);

// ---------------------------------------------------------------- HTTP

HINTERNET InternetOpenW(const char16_t* agent, DWORD accessType, const char16_t* proxy,
                        const char16_t* proxyBypass, DWORD flags);
// Records the host and port; no network traffic. user/password, when given,
// are sent (Basic) with every request of the connection.
HINTERNET InternetConnectW(HINTERNET session, const char16_t* serverName, INTERNET_PORT serverPort,
                           const char16_t* userName, const char16_t* password, DWORD service,
                           DWORD flags, uintptr_t context);
// verb: nullptr means GET. objectName: path and query ("/a/b?x"); a fragment
// is dropped. acceptTypes: nullptr-terminated list, or nullptr.
HINTERNET HttpOpenRequestW(HINTERNET connection, const char16_t* verb, const char16_t* objectName,
                           const char16_t* version, const char16_t* referrer,
                           const char16_t* const* acceptTypes, DWORD flags, uintptr_t context);
// Sends the request and returns once the final response's headers are in
// (1xx responses and followed redirects skipped). headersLength is in
// characters, (DWORD)-1 for a zero-terminated text. A request may be sent
// again (after InternetErrorDlg answered ERROR_INTERNET_FORCE_RETRY, or to
// repeat it); the previous response is then dropped.
BOOL HttpSendRequestW(HINTERNET request, const char16_t* headers, DWORD headersLength,
                      const void* optional, DWORD optionalLength);
// Number results: *bufferLength >= 4. Text results: UTF-16, *bufferLength in
// bytes; too small -> ERROR_INSUFFICIENT_BUFFER with the bytes needed
// (terminator included); on success the bytes written without the terminator.
// index: nullptr, or the occurrence wanted (advanced on success).
BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                    DWORD* index);
// The authentication "dialog": for a request answered 401 or 407, asks the
// credential provider for credentials not yet offered for this request. When
// it has some, they are attached to the request and the answer is
// ERROR_INTERNET_FORCE_RETRY (send again); otherwise ERROR_CANCELLED. For a
// request not asking for authentication the answer is ERROR_SUCCESS.
DWORD InternetErrorDlg(HWND parent, HINTERNET request, DWORD error, DWORD flags, void** data);
// Blocks until body bytes are ready or the body has ended; *available is 0
// only at the end of the body.
BOOL InternetQueryDataAvailable(HINTERNET request, DWORD* available, DWORD flags,
                                uintptr_t context);
// Blocks until `toRead` bytes are read or the body ends; *read 0 is the end.
BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read);
// Receives a body without copying it into a caller's buffer: hands up to
// `toRead` of the bytes the service holds to `consume` where they lie,
// blocking only while it holds none. *read is their count, 0 at the end of
// the body. The bytes count as read whatever `consume` answers; its false
// answer fails the call with ERROR_CANCELLED.
using BodyConsumer = std::function<bool(const char* data, size_t size)>;
BOOL InternetReadFileInPlace(HINTERNET request, DWORD toRead, const BodyConsumer& consume,
                             DWORD* read);
BOOL InternetCloseHandle(HINTERNET handle);

// Connected state: handle nullptr, option INTERNET_OPTION_CONNECTED_STATE,
// 4-byte buffer. INTERNET_STATE_DISCONNECTED_BY_USER when the registry DWORD
// GlobalUserOffline = 1 under the HKEY_CURRENT_USER key
// "Software\Microsoft\Windows\CurrentVersion\Internet Settings", else
// INTERNET_STATE_CONNECTED.
BOOL InternetQueryOptionW(HINTERNET handle, DWORD option, void* buffer, DWORD* bufferLength);
// 0 (ERROR_SUCCESS) when on line: a network interface other than loopback is
// up or a default route exists; else ERROR_INTERNET_DISCONNECTED.
// The environment variable QXNET_ONLINE=1 or 0 forces the answer.
DWORD InternetAttemptConnect(DWORD reserved);

// ---------------------------------------------------------------- URLs

// Canonical form: surrounding blanks trimmed, scheme and host lower-cased,
// a default port dropped, "." and ".." segments removed, "\" read as "/" in
// http(s) URLs, blanks, controls, non-ASCII and other unsafe characters of
// path, query and fragment percent-escaped (hex digits in lower case; a
// "%" not starting an escape becomes "%25"). *bufferLength: in, the buffer's size in characters;
// out, the characters written without the terminator, or, with ERROR_INSUFFICIENT_BUFFER, the
// characters needed with the terminator. A text that is no URL fails with
// ERROR_INTERNET_UNRECOGNIZED_SCHEME (no scheme) or ERROR_INTERNET_INVALID_URL, and *bufferLength
// set to 0.
BOOL InternetCanonicalizeUrlW(const char16_t* url, char16_t* buffer, DWORD* bufferLength,
                              DWORD flags);
// urlLength 0 means zero-terminated. For each text component: a buffer given
// receives a copy (length in: buffer size, out: characters without
// terminator; too small -> ERROR_INSUFFICIENT_BUFFER); no buffer but a
// non-zero length receives a pointer into `url` and the component's length
// (the URL should then be canonical). When the extra info is not asked for,
// the URL path carries the query ("/p?q"); the fragment is never part of the
// path. nPort is the explicit port or the scheme's default.
BOOL InternetCrackUrlW(const char16_t* url, DWORD urlLength, DWORD flags,
                       URL_COMPONENTSW* components);

// ---------------------------------------------------------------- cache

// Files live in $QXNET_CACHE_DIR (default $XDG_CACHE_HOME/corvane/inetcache,
// then ~/.cache/corvane/inetcache); the index is index.db there. Safe for
// several processes at once.
//
// Creates a new empty file with a name made by the cache and writes its path
// into fileName (MAX_PATH + 1 characters). The extension is cut to its
// leading run of ASCII letters and digits (at most 8); none when that is empty.
BOOL CreateUrlCacheEntryW(const char16_t* url, DWORD expectedFileSize,
                          const char16_t* fileExtension, char16_t* fileName, DWORD reserved);
// localFileName must be a file made by CreateUrlCacheEntryW (a regular file
// directly inside the cache folder); anything else fails with
// ERROR_INVALID_PARAMETER. A commit replaces an entry of the same URL and
// deletes that entry's file (even when locked: readers that opened it keep
// their data).
BOOL CommitUrlCacheEntryW(const char16_t* url, const char16_t* localFileName, FILETIME expireTime,
                          FILETIME lastModifiedTime, DWORD cacheEntryType,
                          const char16_t* headerInfo, DWORD headerInfoLength,
                          const char16_t* fileExtension, const char16_t* originalUrl);
// Size protocol: entry nullptr or *size too small -> ERROR_INSUFFICIENT_BUFFER
// and *size = bytes needed; not cached -> ERROR_FILE_NOT_FOUND. Success fills
// the entry and adds one lock.
BOOL RetrieveUrlCacheEntryFileW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* size,
                                DWORD reserved);
// Removes one lock (never below 0). Not cached -> ERROR_FILE_NOT_FOUND.
BOOL UnlockUrlCacheEntryFileW(const char16_t* url, DWORD reserved);
// Size protocol as RetrieveUrlCacheEntryFileW; takes no lock.
BOOL GetUrlCacheEntryInfoExW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* size,
                             char16_t* redirectUrl, DWORD* redirectUrlLength, void* reserved,
                             DWORD flags);
// fieldControl: CACHE_ENTRY_*_FC bits (attribute = entry type, times).
BOOL SetUrlCacheEntryInfoW(const char16_t* url, const INTERNET_CACHE_ENTRY_INFOW* entry,
                           DWORD fieldControl);
// Removes the entry and its file (locks do not prevent it).
BOOL DeleteUrlCacheEntryW(const char16_t* url);

// ---------------------------------------------------------------- times

FILETIME GetSystemTimeAsFileTime();
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
int64_t FileTimeToInt64(FILETIME time);
FILETIME FileTimeFromInt64(int64_t value);
// Seconds since 1970 as a FILETIME; false for a time before 1601 or after
// 30827, which no SYSTEMTIME holds. FileTimeFromUnixSeconds gives 0 for those.
bool UnixSecondsToFileTime(int64_t seconds, FILETIME* fileTime);
FILETIME FileTimeFromUnixSeconds(int64_t seconds);

// ---------------------------------------------------------------- configuration

// Connection timeout and stall timeout (no byte received or sent for that
// long fails the transfer with ERROR_INTERNET_TIMEOUT). Both 60 s unless the
// environment sets QXNET_CONNECT_TIMEOUT_MS / QXNET_STALL_TIMEOUT_MS, or
// SetTransferTimeouts is called (affects transfers started afterwards).
void SetTransferTimeouts(std::chrono::milliseconds connectTimeout,
                         std::chrono::milliseconds stallTimeout);

// Speed floor: a transfer whose average speed over a whole stall period
// stays under this many bytes per second fails with ERROR_INTERNET_TIMEOUT,
// as a stalled one does, so a server trickling bytes cannot hold it for
// ever. 1 unless the environment sets QXNET_LOW_SPEED_LIMIT or this is
// called (affects transfers started afterwards; 0 restores the default).
void SetLowSpeedLimit(long bytesPerSecond);

// Trusted certificates: CURL_CA_BUNDLE, else SSL_CERT_FILE and SSL_CERT_DIR,
// else the system's store; the PEM file named by QXNET_CA_BUNDLE is trusted
// in addition. A named file or folder that cannot be read fails secure
// transfers with a message that says so.

// The credential provider. For a request answered 401/407, InternetErrorDlg
// first offers the netrc entry ($NETRC, else ~/.netrc) for the host, then
// asks the installed prompt, if any. Credentials already offered for the
// request are never offered again.
struct CredentialQuery {
  HWND parent;
  std::string host;   // server (or proxy) host name
  std::string realm;  // from the authentication challenge, may be empty
  bool proxy;         // 407
  int attempt;        // 1 for the first offer of this request
};
struct Credentials {
  std::string user;
  std::string password;
};
// Answers false when the user declines.
using CredentialPrompt = std::function<bool(const CredentialQuery&, Credentials&)>;
void SetCredentialPrompt(CredentialPrompt prompt);  // empty function removes it

}  // namespace qx::inet

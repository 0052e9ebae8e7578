// UploadFile and UploadFileForm against loopback servers: the exact body,
// the three ways of naming the answer file, refused files, odd field names
// and URLs, and the form post that the browser stand-in sends after the
// call has returned.

#include <cstdlib>

#include "qxnet/bstr.h"
#include "qxnet/text.h"
#include "tests/qxnet/qxnet_fixture.h"
#include "tests/support/form_server.h"

namespace qxnettest {
namespace {

std::string AllByteValues() {
  std::string bytes;
  for (int round = 0; round < 40; ++round) {
    for (int c = 0; c < 256; ++c) bytes.push_back(static_cast<char>(c));
  }
  return bytes;
}

struct UploadResult {
  HRESULT hr = S_OK;
  std::string returned;  // what returnFile came back with
  std::string error;
};

// UploadFile with returnFile holding `given` on entry (null when
// `nullString`), or with no returnFile pointer at all when `noPointer`.
UploadResult Upload(_QXNet* object, const std::string& file, const std::string& url,
                    const std::string& given, bool noPointer = false) {
  UploadResult result;
  qx::BStr fileText = qx::BStr::FromUtf8(file);
  qx::BStr urlText = qx::BStr::FromUtf8(url);
  BSTR returned = given.empty() ? nullptr : qx::BStr::FromUtf8(given).Detach();
  qxtest::ClearErrorRecord();
  result.hr = object->UploadFile(fileText.Get(), urlText.Get(), 0, noPointer ? nullptr : &returned);
  result.returned = qx::BstrToUtf8(returned);
  SysFreeString(returned);
  if (FAILED(result.hr)) result.error = TakeErrorText();
  return result;
}

TEST_F(QXNetTest, UploadFileSendsTheExactBytesAndKeepsTheAnswer) {
  auto net = NewObject(sink);
  const std::string file = folder + "/data.bin";
  const std::string bytes = AllByteValues();
  WriteFile(file, bytes);

  // No name given: a new answer file in the temporary folder (how it is
  // made is the answer file's own test).
  UploadResult unique = Upload(net.Get(), file, Url("/upload"), "");
  ASSERT_EQ(unique.hr, S_OK) << unique.error;
  EXPECT_EQ(state->uploadBody, bytes);
  EXPECT_EQ(state->uploadContentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(unique.returned.rfind(tmp + "/qxN", 0), 0u) << unique.returned;
  EXPECT_EQ(ReadFile(unique.returned), "answer for 10240 bytes");
  EXPECT_EQ(sink->ends, 1);
  ASSERT_FALSE(sink->reports.empty());
  EXPECT_EQ(sink->reports.front(), qxnettest::Report("Loading library functions", 1));
  EXPECT_EQ(sink->reports.back(), qxnettest::Report("Upload complete", 100));

  // A name given: that file, replaced.
  const std::string named = folder + "/answer.htm";
  WriteFile(named, "old content that is longer than the answer");
  UploadResult given = Upload(net.Get(), file, Url("/upload"), named);
  ASSERT_EQ(given.hr, S_OK);
  EXPECT_EQ(given.returned, named);
  EXPECT_EQ(ReadFile(named), "answer for 10240 bytes");
  EXPECT_TRUE(HasLine(TraceEntries(), "CQXNet::UploadFile(" + file + "," + Url("/upload") + ")"));

  // A failed upload keeps the named file as it was.
  WriteFile(named, "previous answer");
  state->Set(&ServerState::uploadStatus, 500);
  UploadResult failed = Upload(net.Get(), file, Url("/upload"), named);
  EXPECT_EQ(failed.hr, E_FAIL);
  EXPECT_FALSE(failed.error.empty());
  EXPECT_EQ(failed.returned, named);
  EXPECT_EQ(ReadFile(named), "previous answer");
  EXPECT_EQ(FolderEntries(folder).size(), 4u);  // cache, tmp, data.bin, answer.htm
  EXPECT_EQ(sink->ends, 3);
}

TEST_F(QXNetTest, UploadFileRefusesFilesItCannotSend) {
  auto net = NewObject(sink);
  const std::string missing = folder + "/missing.bin";
  UploadResult gone = Upload(net.Get(), missing, Url("/upload"), "");
  EXPECT_EQ(gone.hr, E_FAIL);
  EXPECT_EQ(gone.error, "Unable to read file:\n\t" + missing);

  // Which files cannot be read, and the messages, are the file reader's
  // rules: the file read after the access check fails the call as well.
  const std::string readable = folder + "/readable.bin";
  WriteFile(readable, "");
  EXPECT_EQ(Upload(net.Get(), readable, Url("/upload"), "").hr, E_FAIL);

  // Nothing reached the server, and no answer file was made.
  EXPECT_EQ(state->RequestCount(), 0u);
  for (const std::string& name : FolderEntries(tmp)) {
    EXPECT_EQ(name.rfind("qxN", 0), std::string::npos) << name;
  }

  // Argument faults.
  qx::BStr url = qx::BStr::FromUtf8(Url("/upload"));
  qx::BStr name = qx::BStr::FromUtf8(readable);
  qx::BStr blank = qx::BStr::FromUtf8("");
  BSTR returned = nullptr;
  EXPECT_EQ(net->UploadFile(nullptr, url.Get(), 0, &returned), E_INVALIDARG);
  EXPECT_EQ(TakeErrorText(), "Invalid parameter");
  EXPECT_EQ(net->UploadFile(name.Get(), nullptr, 0, &returned), E_INVALIDARG);
  EXPECT_EQ(net->UploadFile(name.Get(), blank.Get(), 0, &returned), E_INVALIDARG);
  EXPECT_EQ(returned, nullptr);

  // A bad URL once the file is readable.
  WriteFile(readable, "x");
  UploadResult ftp = Upload(net.Get(), readable, "ftp://127.0.0.1/upload", "");
  EXPECT_EQ(ftp.error, "Invalid URL.\n    ftp://127.0.0.1/upload");
}

TEST_F(QXNetTest, UploadFileToAPathWithSpacesQuotesAndNonAscii) {
  auto net = NewObject();
  const std::string file = folder + "/name with \"quotes\" \xC3\xA4.txt";
  WriteFile(file, "odd");
  UploadResult result =
      Upload(net.Get(), file, Url("/up load/\"q\"/\xC3\xBC"), folder + "/r \xC3\xB6.htm");
  ASSERT_EQ(result.hr, S_OK) << result.error;
  EXPECT_EQ(state->uploadBody, "odd");
  EXPECT_EQ(state->uploadPath, "/up load/\"q\"/\xC3\xBC");
  EXPECT_EQ(ReadFile(folder + "/r \xC3\xB6.htm"), "answer for 3 bytes");

  // Without a returnFile pointer no answer file is left behind.
  state->Set(&ServerState::uploadBody, std::string());
  ASSERT_EQ(Upload(net.Get(), file, Url("/upload"), "", true).hr, S_OK);
  EXPECT_EQ(state->uploadBody, "odd");
  for (const std::string& name : FolderEntries(tmp)) {
    EXPECT_EQ(name.rfind("qxN", 0), std::string::npos) << name;
  }
}

// --------------------------------------------------------------- form upload

HRESULT UploadForm(_QXNet* object, const std::string& file, const std::string& url,
                   const std::string& field) {
  qx::BStr fileText = qx::BStr::FromUtf8(file);
  qx::BStr urlText = qx::BStr::FromUtf8(url);
  qx::BStr fieldText = qx::BStr::FromUtf8(field);
  qxtest::ClearErrorRecord();
  return object->UploadFileForm(fileText.Get(), urlText.Get(), 0, fieldText.Get(), VARIANT_FALSE);
}

TEST_F(QXNetTest, FormUploadReachesTheTargetThroughTheBrowserStandIn) {
  qxtest::FormServer target;
  auto net = NewObject(sink);
  // The body's pieces and escapes are the form encoder's rules, the post
  // after the call has returned the navigation's; here the file reaches it.
  const std::string file = folder + "/form.bin";
  WriteFile(file, std::string(40000, '\xFB'));
  const std::string field = "field";

  ASSERT_EQ(UploadForm(net.Get(), file, target.Url(), field), S_OK) << TakeErrorText();
  target.MarkCallReturned();
  qxtest::ReceivedPost post;
  ASSERT_TRUE(target.WaitForPost(&post));
  EXPECT_EQ(post.body.rfind("field=", 0), 0u);
  EXPECT_GT(post.body.size(), 40000u * 4 / 3);

  EXPECT_EQ(sink->ends, 1);
  EXPECT_EQ(sink->reports.back(), qxnettest::Report("Upload complete", 100));
}

TEST_F(QXNetTest, RefusedFormUploads) {
  auto net = NewObject(sink);
  const std::string file = folder + "/form.txt";
  WriteFile(file, "abc");
  const std::string missing = folder + "/missing.txt";

  EXPECT_EQ(UploadForm(net.Get(), missing, Url("/form"), "f"), E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Unable to read file:\n\t" + missing);
  EXPECT_EQ(sink->ends, 0);

  EXPECT_EQ(UploadForm(net.Get(), file, Url("/form"), ""), E_INVALIDARG);
  EXPECT_EQ(TakeErrorText(), "Invalid parameter");
  EXPECT_EQ(UploadForm(net.Get(), file, "", "f"), E_INVALIDARG);

  EXPECT_EQ(UploadForm(net.Get(), file, "ftp://127.0.0.1/form", "f"), E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Invalid URL.\n    ftp://127.0.0.1/form");
  EXPECT_EQ(sink->ends, 1);

  // A missing browser stand-in is the navigation's test.
  EXPECT_EQ(state->RequestCount(), 0u);
}

}  // namespace
}  // namespace qxnettest

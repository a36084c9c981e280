// End to end, in both browsers: what happens around the page on a site
// built as real sites are (an origin of the test's own on 127.0.0.1, which
// the browsers reach through the proxy like any other): answers that are
// no pages (a 301 without Location, JSON, an image, a 204), downloads
// (attachments, a type no browser shows, one behind Basic
// authentication), new windows (target=_blank, window.open), file inputs
// (a classic multipart form, fetch with FormData), the position, and
// addresses with credentials.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "proxy/http/certificate_authority.h"
#include "proxy/http/testing/coded_bodies.h"
#include "proxy/http/testing/test_origin.h"
#include "scripts/testing/browser_runs.h"

namespace {

namespace Origin = Tavrin::Proxy::Http::Testing;

// user:pass in Basic's base64.
constexpr char kBasicUserPass[] = "Basic dXNlcjpwYXNz";

// 60,000 bytes of CSV.
std::string stored_csv() {
  std::string csv;
  for (int i = 0; csv.size() < 60000; ++i) csv += "row," + std::to_string(100000 + i) + ",value\n";
  csv.resize(60000);
  return csv;
}

std::string binary_content() {
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>((i * 7 + i / 256) & 0xff);
  return bytes;
}

std::string md5_hex(const std::string& text) {
  unsigned char bytes[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), bytes, &size, EVP_md5(), nullptr);
  std::string out;
  for (unsigned int i = 0; i < size; ++i) out += "0123456789abcdef"[bytes[i] >> 4], out += "0123456789abcdef"[bytes[i] & 15];
  return out;
}

// A parameter of a Digest Authorization value (quotes removed).
std::string digest_field(const std::string& value, const std::string& name) {
  const auto at = value.find(" " + name + "=");
  const auto comma = value.find("," + name + "=");
  auto start = std::min(at, comma);
  if (start == std::string::npos) return {};
  start += name.size() + 2;
  if (value[start] == '"') return value.substr(start + 1, value.find('"', start + 1) - start - 1);
  return value.substr(start, value.find_first_of(", ", start) - start);
}

// Whether `authorization` answers the Digest challenge of realm "digest",
// nonce "n0nce" for user:pass (RFC 7616, MD5, qop=auth).
bool digest_accepted(const std::string& authorization, const std::string& method) {
  if (authorization.rfind("Digest ", 0) != 0) return false;
  if (digest_field(authorization, "username") != "user" || digest_field(authorization, "nonce") != "n0nce") return false;
  const std::string ha1 = md5_hex("user:digest:pass");
  const std::string ha2 = md5_hex(method + ":" + digest_field(authorization, "uri"));
  const std::string expected = md5_hex(ha1 + ":n0nce:" + digest_field(authorization, "nc") + ":" +
                                       digest_field(authorization, "cnonce") + ":auth:" + ha2);
  return digest_field(authorization, "qop") == "auth" && digest_field(authorization, "response") == expected;
}

std::string html(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html><html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

// The files of a multipart/form-data body, one line each:
// "field=NAME file=FILE type=TYPE size=N text=FIRST-BYTES".
std::string multipart_summary(const Origin::SeenRequest& request) {
  const std::string type = request.field("Content-Type");
  const auto at = type.find("boundary=");
  if (at == std::string::npos) return "not multipart: " + type;
  const std::string boundary = "--" + type.substr(at + 9);
  std::string out;
  std::size_t start = request.body.find(boundary);
  while (start != std::string::npos) {
    start += boundary.size();
    if (request.body.compare(start, 2, "--") == 0) break;
    const std::size_t head_end = request.body.find("\r\n\r\n", start);
    const std::size_t next = request.body.find("\r\n" + boundary, head_end);
    if (head_end == std::string::npos || next == std::string::npos) return out + "malformed";
    const std::string head = request.body.substr(start, head_end - start);
    const std::string content = request.body.substr(head_end + 4, next - head_end - 4);
    auto quoted = [&](const std::string& name) {
      const auto p = head.find(name + "=\"");
      return p == std::string::npos ? std::string() : head.substr(p + name.size() + 2, head.find('"', p + name.size() + 2) - p - name.size() - 2);
    };
    const auto type_at = head.find("Content-Type: ");
    const std::string part_type = type_at == std::string::npos ? "" : head.substr(type_at + 14, head.find("\r\n", type_at) - type_at - 14);
    out += "field=" + quoted("name") + " file=" + quoted("filename") + " type=" + part_type +
           " size=" + std::to_string(content.size()) + " text=" + content.substr(0, 20) + "\n";
    start = next + 2;
  }
  return out;
}

Origin::Reply serve_site(const Origin::SeenRequest& request) {
  Origin::Reply reply;
  reply.fields = {{"Content-Type", "text/html; charset=utf-8"}};
  const std::string path = request.target.substr(0, request.target.find('?'));
  const bool authorized = request.field("Authorization") == kBasicUserPass;
  if (path == "/start.html") {
    reply.body = html("Start",
                      "<a id='moved' href='/moved'>moved</a> <a id='json' href='/api/data.json'>json</a>"
                      " <a id='picture' href='/picture.png'>picture</a> <a id='clip' href='/clip.webm'>clip</a> <a id='nothing' href='/nothing'>nothing</a>"
                      " <a id='text' href='/files/notes.txt'>notes</a> <a id='binary' href='/files/data.bin'>data</a>"
                      " <a id='blank' href='/popup.html?via=link' target='_blank'>new window</a>"
                      " <button id='open' onclick=\"window.open('/popup.html?via=open', 'opened')\">open</button>"
                      " <p id='count'>0</p><script>var n = 0;</script>"
                      " <button id='more' onclick=\"document.getElementById('count').textContent = ++n\">more</button>");
  } else if (path == "/moved") {
    reply.status = 301;  // no Location: the browser shows the body
    reply.body = html("Moved", "<p id='why'>This page has moved, with no new address given.</p>");
  } else if (path == "/api/data.json") {
    reply.fields = {{"Content-Type", "application/json"}};
    reply.body = "{\"items\":[1,2,3],\"name\":\"data\"}";
  } else if (path == "/picture.png") {
    reply.fields = {{"Content-Type", "image/png"}};
    reply.body = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\0');
  } else if (path == "/clip.webm") {
    reply.fields = {{"Content-Type", "video/webm"}};
    reply.body = std::string("\x1a\x45\xdf\xa3", 4) + std::string(64, '\0');  // a header and nothing to play
  } else if (path == "/nothing") {
    reply.status = 204;
    reply.fields.clear();
  } else if (path == "/files/notes.txt") {
    reply.fields = {{"Content-Type", "text/plain"}, {"Content-Disposition", "attachment; filename=\"notes.txt\""}};
    reply.body = "first line\nsecond line\n";
  } else if (path == "/files/stored.csv" || path == "/files/backup.tar.gz") {
    // A server that sends stored compressed files with the coding named,
    // whatever the request asked for.
    reply.fields = {{"Content-Type", path == "/files/stored.csv" ? "text/csv" : "application/gzip"},
                    {"Content-Encoding", "gzip"},
                    {"Content-Disposition", "attachment"}};
    reply.body = Origin::gzip(stored_csv());
  } else if (path == "/files/data.bin") {
    reply.fields = {{"Content-Type", "application/octet-stream"}};
    reply.body = binary_content();
  } else if (path.rfind("/private/", 0) == 0 && !authorized) {
    reply.status = 401;
    reply.fields = {{"Content-Type", "text/html"}, {"WWW-Authenticate", "Basic realm=\"private\""}};
    reply.body = html("Unauthorized", "<p id='denied'>You may not see this.</p>");
  } else if (path.rfind("/digest/", 0) == 0 && !digest_accepted(request.field("Authorization"), request.method)) {
    reply.status = 401;
    reply.fields = {{"Content-Type", "text/html"},
                    {"WWW-Authenticate", "Digest realm=\"digest\", qop=\"auth\", nonce=\"n0nce\", opaque=\"0paque\", algorithm=MD5"}};
    reply.body = html("Unauthorized", "<p id='denied'>No entry without the digest.</p>");
  } else if (path == "/digest/secret.html") {
    reply.body = html("Digest secret", "<p>in</p>");
  } else if (path == "/private/index.html") {
    reply.body = html("Private", "<a id='report' href='/private/report.csv'>report</a> <a id='next' href='/private/next.html'>next</a>");
  } else if (path == "/private/next.html") {
    reply.body = html("Private next", "<p>two</p>");
  } else if (path == "/private/report.csv") {
    reply.fields = {{"Content-Type", "text/csv"}, {"Content-Disposition", "attachment; filename=report.csv"}};
    reply.body = "a,b\n1,2\n";
  } else if (path == "/popup.html") {
    reply.body = html("Popup", "<p id='via'>" + request.target.substr(request.target.find('=') + 1) + "</p>"
                               "<button id='close' onclick='window.close()'>close</button>");
  } else if (path == "/upload.html") {
    reply.body = html("Upload", "<form method='post' action='/upload' enctype='multipart/form-data'>"
                                "<input type='file' id='doc' name='doc' multiple> <input type='text' id='label' name='label'>"
                                "<button id='send'>Send</button></form><p id='changes'>0</p>"
                                "<script>var c = 0; document.getElementById('doc').addEventListener('change', function () {"
                                " document.getElementById('changes').textContent = ++c + ':' + this.files.length; });</script>");
  } else if (path == "/upload" && request.method == "POST") {
    reply.body = html("Uploaded", "<pre id='files'>" + multipart_summary(request) + "</pre>");
  } else if (path == "/fetch-upload.html") {
    reply.body = html("Fetch upload",
                      "<input type='file' id='photo'> <button id='go'>Upload</button><pre id='result'></pre><script>"
                      "document.getElementById('go').onclick = function () {"
                      " var data = new FormData(); data.append('photo', document.getElementById('photo').files[0]);"
                      " fetch('/api/upload', { method: 'POST', body: data }).then(function (r) { return r.text(); })"
                      "  .then(function (t) { document.getElementById('result').textContent = t; }); };</script>");
  } else if (path == "/api/upload" && request.method == "POST") {
    reply.fields = {{"Content-Type", "text/plain"}};
    reply.body = multipart_summary(request);
  } else if (path == "/where.html") {
    reply.body = html("Where", "<button id='locate'>Where am I?</button><p id='position'></p><script>"
                               "document.getElementById('locate').onclick = function () {"
                               " navigator.geolocation.getCurrentPosition(function (p) {"
                               "  document.getElementById('position').textContent = p.coords.latitude + ' ' +"
                               "   p.coords.longitude + ' ' + p.coords.accuracy; }, function (e) {"
                               "  document.getElementById('position').textContent = 'refused ' + e.code +"
                               "   (e.code === e.PERMISSION_DENIED ? ' denied' : ''); }); };</script>");
  } else {
    reply.status = 404;
    reply.body = html("Not found", "<p>not here</p>");
  }
  return reply;
}

class PageCases : public quorvane_test::BrowserRun {
 protected:
  quorvane_test::ProgramRun run_script(const std::string& text) {
    return BrowserRun::run_script("e2e", "var site = 'http://127.0.0.1:" + std::to_string(origin_.port()) + "';\n" + text);
  }
  // The values of the log's "info" records named `name`.
  std::vector<std::string> infos(const std::string& name) const {
    std::vector<std::string> out;
    const std::string log = quorvane_test::read_file(dir_.file("e2e.log"));
    const std::string prefix = "info: name=[[[" + name + "]]] value=[[[";
    for (std::size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1)) {
      const std::size_t start = at + prefix.size();
      out.push_back(log.substr(start, log.find("]]]", start) - start));
    }
    return out;
  }
  Origin::TestOrigin origin_{&serve_site};
};

// A 301 without Location reads like any page; JSON and an image come with
// the agent, so they can be read and navigated back from; a 204 leaves the
// page where it was and working. No command waits out a navigation limit.
TEST_P(PageCases, AnswersThatAreNoPages) {
  const auto run = run_script(R"(
test("no pages", function () {
  var page = open(site + "/start.html");
  pageTimeouts({ navigation: 8000 });
  page.element("#moved").click();
  assertEqual(page.title(), "Moved", "301 without Location is a page");
  assertMatch(page.element("#why").text(), /has moved/, "its text");
  page.back();
  page.element("#json").click();
  assertMatch(page.url(), /\/api\/data\.json$/, "JSON address");
  assertEqual(JSON.parse(page.element("pre").text()).name, "data", "JSON text");
  var logged = waitResponse("**/api/data.json", 3000);
  assertEqual(logged.status, 200, "the request log has the JSON's answer");
  assertEqual(logged.responseJSON().name, "data", "as the origin sent it");
  page.back();
  assertEqual(page.title(), "Start", "back from JSON");
  page.element("#picture").click();
  assertEqual(page.element("img").count(), 1, "image shown");
  page.back();
  page.element("#clip").click();
  assertEqual(page.element("video").count(), 1, "video shown");
  assertMatch(page.element("video source").attr("src"), /\/clip\.webm$/, "of the address");
  page.navigate(site + "/start.html");
  page.element("#nothing").click();
  assertEqual(page.title(), "Start", "204 stays");
  page.element("#more").click();
  assertEqual(page.element("#count").text(), "1", "still driven after the 204");
  // A second window: Firefox starts a process of its own to ask the
  // running one for it, which takes longer than 8 s on a busy machine.
  pageTimeouts({ navigation: 30000 });
  var direct = open(site + "/moved");
  assertEqual(direct.element("#why").count(), 1, "opened on a 301");
});
)");
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"1 passed, 0 failed\""), std::string::npos) << run.out;
}

// Attachments and a type no browser shows: the page stays, the action
// answers at once, and waitForDownload gives the whole file; one behind
// Basic authentication too.
TEST_P(PageCases, Downloads) {
  const std::string results = dir_.file("results");
  programs_.SetConfig("<parameter id=\"test_results_path\" type=\"string\"><value></value>",
                      "<parameter id=\"test_results_path\" type=\"string\"><value>" + results + "</value>");
  // An HTTPS origin, vouched for by an authority the proxy is told to trust.
  Tavrin::Proxy::Http::CertificateAuthority authority(dir_.file("origin-authority"));
  Origin::TestOrigin secure(&serve_site, authority.issue_leaf_pem("127.0.0.1") + authority.certificate_pem(),
                            authority.leaf_key_pem());
  const std::string trusted = "<parameter id=\"intercept_https\" type=\"boolean\"><value>1</value></parameter>";
  programs_.SetConfig(trusted, trusted + "<parameter id=\"upstream_ca_file\" type=\"string\"><value>" +
                                   authority.certificate_file().string() + "</value></parameter>");
  const auto run = run_script("var secure = 'https://127.0.0.1:" + std::to_string(secure.port()) + "';\n" + R"(
test("downloads", function () {
  var page = open(site + "/start.html");
  pageTimeouts({ navigation: 8000 });
  page.element("#text").click();
  var text = page.waitForDownload(5000);
  assertEqual(text.suggestedName, "notes.txt", "text name");
  assertEqual(text.size, 23, "text size");
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var stream = fso.OpenTextFile(text.path);
  assertEqual(stream.ReadAll(), "first line\nsecond line\n", "text content");
  stream.Close();
  assertEqual(page.title(), "Start", "the page stays");
  page.element("#more").click();
  assertEqual(page.element("#count").text(), "1", "and is driven");
  page.element("#binary").click();
  var binary = page.waitForDownload(5000);
  assertEqual(binary.suggestedName, "data.bin", "binary name");
  assertEqual(binary.size, 300000, "binary size");
  var logged = waitResponse("**/files/data.bin", 3000);
  assertEqual(logged.status, 200, "the request log has the download's answer");
  assertEqual(logged.failure, null, "saved whole");
  var thrown = "";
  try { page.waitForDownload(300); } catch (e) { thrown = e.message; }
  assertMatch(thrown, /waited 300 ms for a download/, "no third download");
  page.navigate(secure + "/files/notes.txt");
  assertEqual(page.title(), "Start", "a navigation to a download stays");
  var overTls = page.waitForDownload(5000);
  assertEqual(overTls.url, secure + "/files/notes.txt", "HTTPS address");
  assertEqual(overTls.size, 23, "HTTPS size");
});
test("downloads in a content coding", function () {
  var page = open(site + "/start.html");
  page.navigate(site + "/files/stored.csv");
  var csv = page.waitForDownload(5000);
  assertEqual(csv.suggestedName, "stored.csv", "csv name");
  assertEqual(csv.size, 60000, "saved decoded, as a browser saves it");
  page.navigate(site + "/files/backup.tar.gz");
  var archive = page.waitForDownload(5000);
  assertEqual(archive.suggestedName, "backup.tar.gz", "archive name");
  assert(archive.size < 60000, "a .gz file stays compressed");
});
test("download behind Basic authentication", function () {
  pageTimeouts({ navigation: 30000 });  // a browser of its own starts
  var page = open(site.replace("http://", "http://user:pass@") + "/private/index.html");
  assertEqual(page.title(), "Private", "signed in");
  page.element("#report").click();
  var report = page.waitForDownload(5000);
  assertEqual(report.suggestedName, "report.csv", "name");
  assertEqual(report.size, 8, "size");
});
)");
  EXPECT_EQ(run.exit, 0) << run.out << quorvane_test::read_file(dir_.file("e2e.log"));
  const auto saved = infos("download");
  ASSERT_EQ(saved.size(), 6u) << run.out;
  const auto saved_path = [&](std::size_t i) {
    const std::string& record = saved[i];
    const auto from = record.find(" saved as ") + 10;
    return record.substr(from, record.rfind(" (") - from);
  };
  const std::string path = saved_path(1);
  EXPECT_EQ(quorvane_test::read_file(path), binary_content()) << path;
  // Compared whole but not printed: 60 kB each.
  const std::string csv = quorvane_test::read_file(saved_path(3));
  EXPECT_TRUE(csv == stored_csv()) << saved[3] << ": " << csv.size() << " bytes";
  const std::string archive = quorvane_test::read_file(saved_path(4));
  EXPECT_TRUE(archive == Origin::gzip(stored_csv())) << saved[4] << ": " << archive.size() << " bytes";
  EXPECT_EQ(path.rfind(results + "/downloads/", 0), 0u) << "under the results folder: " << path;
}

// A link with target=_blank and window.open: each window comes as a page of
// its own; closing it leaves its opener working.
TEST_P(PageCases, NewWindows) {
  const auto run = run_script(R"(
test("windows", function () {
  var page = open(site + "/start.html");
  page.element("#blank").click();
  var popup = page.waitForPopup(8000);
  assertEqual(popup.element("#via").text(), "link", "target=_blank");
  page.element("#open").click();
  var opened = page.waitForPopup(8000);
  assertEqual(opened.element("#via").text(), "open", "window.open");
  assertEqual(pages().length, 3, "three windows");
  opened.close();
  popup.element("#close").click();
  page.element("#more").click();
  assertEqual(page.element("#count").text(), "1", "the opener works");
  assertEqual(pages().length, 1, "one window left", 5000);
});
)");
  EXPECT_EQ(run.exit, 0) << run.out;
}

// Files into file inputs: a classic multipart form and fetch with
// FormData upload them; [] empties the input; each bad input throws at
// once, naming it.
TEST_P(PageCases, FileInputs) {
  quorvane_test::write_file(dir_.file("notes.txt"), "first line\nsecond line\n");
  quorvane_test::write_file(dir_.file("photo.png"), std::string("\x89PNG\r\n\x1a\n", 8) + std::string(100, 'x'));
  std::filesystem::create_directories(dir_.file("folder"));
  const auto run = run_script(R"(
test("classic form", function () {
  var page = open(site + "/upload.html");
  page.element("#doc").setFiles(["notes.txt", "photo.png"]);
  assertEqual(page.element("#changes").text(), "1:2", "change fired with two files");
  assertEqual(page.eval("document.getElementById('doc').files[0].name"), "notes.txt", "name");
  assertEqual(page.eval("document.getElementById('doc').files[1].type"), "image/png", "type");
  page.element("#label").type("two files");
  page.element("#send").click();
  assertEqual(page.title(), "Uploaded", "submitted");
  var files = page.element("#files").text();
  assertMatch(files, /field=doc file=notes\.txt type=text\/plain size=23 text=first line/, "text file uploaded");
  assertMatch(files, /field=doc file=photo\.png type=image\/png size=108/, "image uploaded");
});
test("fetch with FormData", function () {
  var page = open(site + "/fetch-upload.html");
  page.element("#photo").setFiles("photo.png");
  page.element("#go").click();
  assertMatch(page.element("#result").waitText(/size/), /field=photo file=photo\.png type=image\/png size=108/, "uploaded");
});
test("cleared", function () {
  var page = open(site + "/upload.html");
  page.element("#doc").setFiles("notes.txt");
  page.element("#doc").setFiles([]);
  assertEqual(page.eval("document.getElementById('doc').files.length"), 0, "no files");
  assertEqual(page.element("#changes").text(), "2:0", "change fired");
});
function thrown(fn) { try { fn(); return "nothing thrown"; } catch (e) { return e.message; } }
test("bad inputs", function () {
  var page = open(site + "/upload.html");
  assertMatch(thrown(function () { page.element("#doc").setFiles("missing.txt"); }), /no file missing\.txt/, "missing");
  assertMatch(thrown(function () { page.element("#doc").setFiles("folder"); }), /folder is a folder/, "folder");
  assertMatch(thrown(function () { page.element("#label").setFiles("notes.txt"); }), /#label is no file input/, "not a file input");
});
)");
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"4 passed, 0 failed\""), std::string::npos) << run.out;
}

// The position a page asks for: given, then refused.
TEST_P(PageCases, Position) {
  const auto run = run_script(R"(
test("position", function () {
  var page = open(site + "/where.html");
  page.setGeolocation(48.8584, 2.2945, 10);
  page.element("#locate").click();
  assertEqual(page.element("#position").waitText(/\d/), "48.8584 2.2945 10", "position");
  page.reload();
  page.element("#locate").click();
  assertEqual(page.element("#position").waitText(/\d/), "48.8584 2.2945 10", "after a reload");
  page.setGeolocation(null);
  page.element("#locate").click();
  assertEqual(page.element("#position").waitText(/refused/), "refused 1 denied", "refused");
});
)");
  EXPECT_EQ(run.exit, 0) << run.out;
}

// Addresses with credentials, also after an earlier authenticated page;
// wrong ones give the page's own 401.
TEST_P(PageCases, AddressesWithCredentials) {
  const auto run = run_script(R"(
test("credentials in addresses", function () {
  var signed = site.replace("http://", "http://user:pass@");
  var page = open(signed + "/private/index.html");
  pageTimeouts({ navigation: 8000 });
  assertEqual(page.title(), "Private", "open");
  page.navigate(signed + "/private/next.html");
  assertEqual(page.title(), "Private next", "navigate after an authenticated page");
  pageTimeouts({ navigation: 30000 });  // a browser of its own starts
  var wrong = open(site.replace("http://", "http://user:wrong@") + "/private/index.html");
  assertEqual(wrong.element("#denied").text(), "You may not see this.", "401 page");
});
test("credentials of the run", function () {
  httpCredentials("user", "pass", site);
  var page = open(site + "/private/index.html");
  assertEqual(page.title(), "Private", "Basic");
  page.navigate(site + "/digest/secret.html");
  assertEqual(page.title(), "Digest secret", "Digest");
  httpCredentials("user", "wrong", site);
  page.navigate(site + "/digest/secret.html");
  assertEqual(page.element("#denied").text(), "No entry without the digest.", "wrong: the 401 page");
});
)");
  EXPECT_NE(run.out.find("stats: testfile=\"2 passed, 0 failed\""), std::string::npos) << run.out;
  EXPECT_EQ(run.exit, 0) << run.out;
}

QUORVANE_IN_BOTH_BROWSERS(PageCases);

}  // namespace

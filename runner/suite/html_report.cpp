#include "runner/suite/html_report.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "runner/suite/junit_xml.h"

namespace Tavrin::Suite {

namespace {

std::string h(const std::wstring& text) { return xml_escape(text); }

std::string seconds(double s) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(1) << s << " s";
  return text.str();
}

// Failed, timed-out and interrupted scripts first, then flaky, then
// passed; by path.
int rank(ScriptStatus status) {
  switch (status) {
    case ScriptStatus::kFailed: return 0;
    case ScriptStatus::kTimedOut: return 0;
    case ScriptStatus::kInterrupted: return 0;
    case ScriptStatus::kFlaky: return 1;
    case ScriptStatus::kPassed: return 2;
  }
  return 2;
}

std::string css_class(ScriptStatus status) {
  switch (status) {
    case ScriptStatus::kPassed: return "passed";
    case ScriptStatus::kFailed: return "failed";
    case ScriptStatus::kFlaky: return "flaky";
    case ScriptStatus::kTimedOut: return "timedout";
    case ScriptStatus::kInterrupted: return "interrupted";
  }
  return "failed";
}

const char kStyle[] = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:0;background:#f6f7f9;color:#1d2330}
header{background:#1d2330;color:#fff;padding:16px 24px}
header h1{margin:0 0 8px;font-size:20px}
.summary{display:flex;gap:12px;flex-wrap:wrap}
.count{background:#2b3345;border-radius:6px;padding:6px 12px}
.count b{font-size:18px;margin-right:4px}
.count.failed b,.count.timedout b,.count.interrupted b{color:#ff7b7b}.count.flaky b{color:#ffd166}.count.passed b{color:#7ee2a8}
.tools{padding:12px 24px;display:flex;gap:8px;align-items:center;flex-wrap:wrap}
.tools button{border:1px solid #c5cad3;background:#fff;border-radius:4px;padding:4px 10px;cursor:pointer}
.tools button.on{background:#1d2330;color:#fff}
.tools input{padding:4px 8px;border:1px solid #c5cad3;border-radius:4px;min-width:240px}
main{padding:0 24px 24px}
details.script{background:#fff;border:1px solid #dde1e7;border-left:6px solid #7ee2a8;border-radius:4px;margin:6px 0}
details.script.failed,details.script.timedout,details.script.interrupted{border-left-color:#e05252}
details.script.flaky{border-left-color:#e8b400}
summary{cursor:pointer;padding:8px 12px;display:flex;gap:12px}
summary .path{flex:1;font-family:monospace}
.status{font-weight:600;text-transform:uppercase;font-size:12px}
.test{border-top:1px solid #eef0f3;padding:6px 12px 6px 28px}
.test .title{display:flex;gap:12px}.test .title span:first-child{flex:1}
.test.failed .title,.test.error .title{color:#b42318;font-weight:600}
.step{margin:6px 0;padding:8px;background:#fff4f4;border-radius:4px}
.step pre,.echo pre{white-space:pre-wrap;margin:4px 0;font-size:12px}
.step img{max-width:480px;border:1px solid #ccc;display:block;margin-top:6px}
.console{color:#8a5300}
.hidden{display:none}
)";

const char kScript[] = R"(
(function(){
  var filter='all',query='';
  function apply(){
    var scripts=document.querySelectorAll('details.script');
    for(var i=0;i<scripts.length;i++){
      var s=scripts[i],st=s.getAttribute('data-status');
      var okStatus=filter==='all'||st===filter;
      var tests=s.querySelectorAll('.test'),anyTitle=query==='';
      for(var j=0;j<tests.length;j++){
        var hit=query===''||tests[j].getAttribute('data-title').toLowerCase().indexOf(query)>=0;
        tests[j].classList.toggle('hidden',!hit);
        if(hit)anyTitle=true;
      }
      if(query!==''&&s.getAttribute('data-path').toLowerCase().indexOf(query)>=0)anyTitle=true;
      s.classList.toggle('hidden',!(okStatus&&anyTitle));
    }
  }
  var buttons=document.querySelectorAll('.tools button');
  for(var k=0;k<buttons.length;k++)buttons[k].addEventListener('click',function(){
    for(var m=0;m<buttons.length;m++)buttons[m].classList.remove('on');
    this.classList.add('on');filter=this.getAttribute('data-filter');apply();
  });
  var search=document.getElementById('search');
  search.addEventListener('input',function(){query=this.value.toLowerCase();apply();});
  // A link may carry the view: #status=failed&search=login.
  var parts=location.hash.replace(/^#/,'').split('&');
  for(var p=0;p<parts.length;p++){
    var kv=parts[p].split('='),value=decodeURIComponent(kv[1]||'');
    if(kv[0]==='status'){
      for(var b=0;b<buttons.length;b++)
        buttons[b].classList.toggle('on',buttons[b].getAttribute('data-filter')===value);
      filter=value;
    }
    if(kv[0]==='search'){search.value=value;query=value.toLowerCase();}
  }
  apply();
  document.body.setAttribute('data-ready','1');
})();
)";

void write_test(std::ostringstream& html, const TestResult& t) {
  const std::string status = h(status_word(t.status));
  html << "<div class=\"test " << status << "\" data-title=\"" << h(t.title) << "\"><div class=\"title\"><span>"
       << h(t.title) << "</span><span class=\"status\">" << status << "</span><span>" << seconds(t.seconds)
       << "</span></div>\n";
  for (std::size_t i = 0; i < t.failures.size(); ++i) {
    const Failure& f = t.failures[i];
    html << "<div class=\"step\"><div>Failed step: <b>" << h(f.step) << "</b></div><pre>" << h(f.message) << "</pre>";
    if (i < t.evidence.size()) {
      const Evidence& e = t.evidence[i];
      if (!e.url.empty()) html << "<div>URL: <a href=\"" << h(e.url) << "\">" << h(e.url) << "</a></div>";
      if (!e.title.empty()) html << "<div>Title: " << h(e.title) << "</div>";
      if (!e.html.empty()) html << "<div><a href=\"" << h(e.html) << "\">page source</a></div>";
      if (!e.screenshot.empty())
        html << "<a href=\"" << h(e.screenshot) << "\"><img alt=\"screenshot\" src=\"" << h(e.screenshot) << "\"></a>";
    }
    html << "</div>\n";
  }
  for (const std::wstring& e : t.errors) html << "<div class=\"step\"><div>Error</div><pre>" << h(e) << "</pre></div>\n";
  for (const std::wstring& c : t.console) html << "<div class=\"console\">console: " << h(c) << "</div>\n";
  if (!t.echo.empty()) html << "<div class=\"echo\"><pre>" << h(t.echo) << "</pre></div>\n";
  html << "</div>\n";
}

void write_script(std::ostringstream& html, const ScriptResult& s) {
  const Attempt& last = s.final_attempt();
  const std::string cls = css_class(s.status);
  html << "<details class=\"script " << cls << "\" data-status=\"" << cls << "\" data-path=\"" << h(s.path) << "\""
       << (counts_as_passed(s.status) ? "" : " open") << "><summary><span class=\"status\">"
       << h(status_word(s.status)) << "</span><span class=\"path\">" << h(s.path) << "</span><span>"
       << last.tests.size() << (last.tests.size() == 1 ? " test" : " tests") << "</span><span>"
       << seconds(s.seconds()) << "</span>"
       << (last.har.empty() ? std::string() : "<a class=\"har\" href=\"" + h(last.har) + "\">HAR</a>")
       << "</summary>\n";
  if (!last.script_error.empty())
    html << "<div class=\"test error\" data-title=\"\"><div class=\"step\"><div>Script error</div><pre>"
         << h(last.script_error) << "</pre></div></div>\n";
  if (s.attempts.size() > 1)
    html << "<div class=\"test\" data-title=\"\">" << s.attempts.size() << " attempts; earlier logs: "
         << [&] {
              std::string links;
              for (std::size_t i = 0; i + 1 < s.attempts.size(); ++i)
                links += "<a href=\"" + h(s.attempts[i].log) + "\">attempt " + std::to_string(i + 1) + "</a> ";
              return links;
            }()
         << "</div>\n";
  // Failed tests first.
  std::vector<const TestResult*> tests;
  for (const TestResult& t : last.tests) tests.push_back(&t);
  std::stable_sort(tests.begin(), tests.end(), [](const TestResult* a, const TestResult* b) {
    auto bad = [](const TestResult* t) { return t->status == TestStatus::kFailed || t->status == TestStatus::kError; };
    return bad(a) && !bad(b);
  });
  for (const TestResult* t : tests) write_test(html, *t);
  html << "<div class=\"test\" data-title=\"\"><a href=\"" << h(last.log) << "\">test log</a> · <a href=\""
       << h(last.report) << "\">XML report</a> · <a href=\"" << h(last.output) << "\">console</a></div>\n";
  html << "</details>\n";
}

// The summary and the filter buttons; an interrupted suite's count and
// button only when it has interrupted scripts.
void write_header(std::ostringstream& html, const SuiteCounts& c, double suite_seconds) {
  html << "<header><h1>Quorvane results</h1><div class=\"summary\" id=\"summary\">"
       << "<span class=\"count passed\"><b>" << c.passed << "</b>passed</span>"
       << "<span class=\"count failed\"><b>" << c.failed << "</b>failed</span>"
       << "<span class=\"count flaky\"><b>" << c.flaky << "</b>flaky</span>"
       << "<span class=\"count timedout\"><b>" << c.timed_out << "</b>timed out</span>";
  if (c.interrupted > 0) html << "<span class=\"count interrupted\"><b>" << c.interrupted << "</b>interrupted</span>";
  html << "<span class=\"count\"><b>" << c.tests << "</b>" << (c.tests == 1 ? "test" : "tests") << ", "
       << c.tests_failed << " failed</span>"
       << "<span class=\"count\"><b>" << seconds(suite_seconds) << "</b></span></div></header>\n"
       << "<div class=\"tools\"><button class=\"on\" data-filter=\"all\">All</button>"
       << "<button data-filter=\"failed\">Failed</button><button data-filter=\"timedout\">Timed out</button>";
  if (c.interrupted > 0) html << "<button data-filter=\"interrupted\">Interrupted</button>";
  html << "<button data-filter=\"flaky\">Flaky</button><button data-filter=\"passed\">Passed</button>"
       << "<input id=\"search\" type=\"search\" placeholder=\"Search by title\"></div>\n<main>\n";
}

}  // namespace

std::string html_report(const SuiteResult& suite) {
  const SuiteCounts c = count(suite);
  std::ostringstream html;
  html << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Quorvane results</title><style>"
       << kStyle << "</style></head><body>\n";
  write_header(html, c, suite.seconds);
  std::vector<const ScriptResult*> scripts;
  for (const ScriptResult& s : suite.scripts) scripts.push_back(&s);
  std::stable_sort(scripts.begin(), scripts.end(),
                   [](const ScriptResult* a, const ScriptResult* b) { return rank(a->status) < rank(b->status); });
  for (const ScriptResult* s : scripts) write_script(html, *s);
  html << "</main>\n<script>" << kScript << "</script>\n</body></html>\n";
  return html.str();
}

}  // namespace Tavrin::Suite

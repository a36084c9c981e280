#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/script_injector.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace {

using Tavrin::File;
using Tavrin::ScriptInjector;
using Tavrin::Platform::from_utf8;

// Pages are injected on many threads while another thread keeps replacing
// the package with one of two others: every page must come out with the
// elements of one whole package, and every file read must be whole.
TEST(ScriptInjectorConcurrencyTest, InjectingWhileReloadingSeesWholePackages) {
  quorvane_test::TempDir dir;
  const std::vector<std::vector<std::string>> sets = {{"a.js", "b.js"}, {"c.js"}};
  std::vector<std::wstring> paths;
  std::vector<std::string> expected_pages;
  const std::string page = "<html><head><title>t</title></head><body>" +
                           std::string(20000, 'x') + "</body></html>";
  for (std::size_t s = 0; s < sets.size(); ++s) {
    ScriptInjector builder;
    std::string elements;
    for (const std::string& name : sets[s]) {
      quorvane_test::write_file(dir.file(name), "// " + name);
      builder.AddFile({name, dir.file(name)}, true, File::MIMEType::kJavaScript);
      elements += "<script src=\"/quorvane/special/file/" + name +
                  "\" type=\"text/javascript\"></script>";
    }
    paths.push_back(from_utf8(dir.file("set" + std::to_string(s) + ".dat")));
    builder.Serialize(paths.back());
    std::string injected = page;
    injected.insert(page.find("</head>"), elements);
    expected_pages.push_back(injected);
  }

  ScriptInjector shared(paths[0]);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::atomic<int> seen[2] = {0, 0};
  auto check = [&](const std::string& injected) {
    if (injected == expected_pages[0]) {
      ++seen[0];
    } else if (injected == expected_pages[1]) {
      ++seen[1];
    } else {
      ++torn;
    }
  };
  std::thread reloader([&] {
    for (int i = 0; !done.load() && i < 1000000; ++i) shared.Load(paths[i % 2]);
  });
  std::vector<std::thread> servers;
  for (int t = 0; t < 4; ++t) {
    servers.emplace_back([&] {
      // At least 400 pages, and on until both packages have been seen.
      for (int i = 0; i < 400 || ((seen[0] == 0 || seen[1] == 0) && i < 100000); ++i) {
        std::string injected = page;
        shared.InjectToStreamANSI(injected);
        check(injected);
        const File file = shared.GetFile("/quorvane/special/file/c.js");
        if (!file.Name().empty() && file.Data() != "// c.js") ++torn;
        if (i % 50 == 0) {  // a copy is one whole package too
          const ScriptInjector copy(shared);
          injected = page;
          copy.InjectToStreamANSI(injected);
          check(injected);
        }
      }
    });
  }
  for (std::thread& server : servers) server.join();
  done = true;
  reloader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(seen[0].load(), 0);
  EXPECT_GT(seen[1].load(), 0);
}

}  // namespace

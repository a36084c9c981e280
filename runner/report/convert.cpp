#include "runner/report/convert.h"

#include <fstream>
#include <string>

#include "platform/text.h"
#include "runner/report/convert_stream.h"

namespace Tavrin::Report {

namespace {

int fail(Tavrin::Logger::ConsoleLogger& logger, const wchar_t* what, const std::wstring& path) {
  logger.channel(Tavrin::ScriptLogger::kMessage) << what << path << L"\n";
  return 2;
}

}  // namespace

int RunConvert(const Tavrin::Configuration& config, Tavrin::Logger::ConsoleLogger& logger) {
  const std::wstring input = Tavrin::param_string(config, L"common", L"input");
  const std::wstring output = Tavrin::param_string(config, L"common", L"output");

  std::ifstream log(Platform::to_utf8(input), std::ios::in | std::ios::binary);
  if (!log) return fail(logger, L"Unable to open input file: ", input);
  // A log that opens but cannot be read (a folder, say) must not cost the
  // user an existing report either.
  log.peek();
  if (log.bad()) return fail(logger, L"Unable to read input file: ", input);
  log.clear();
  std::ofstream report(Platform::to_utf8(output), std::ios::out | std::ios::binary | std::ios::trunc);
  if (!report) return fail(logger, L"Unable to create output file: ", output);

  const StreamStatus status = ConvertStream(log, report);
  report.close();
  if (status == StreamStatus::kReadFailed) return fail(logger, L"Unable to read input file: ", input);
  if (status == StreamStatus::kWriteFailed || report.fail())
    return fail(logger, L"Unable to write output file: ", output);
  return 0;
}

}  // namespace Tavrin::Report

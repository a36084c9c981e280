// The console logger: sixteen channels over one wide output stream, each of
// which can be switched on or off. The runner writes its own lines with it,
// the runtime object echoes the run's events with it. Output is UTF-8
// without a byte-order mark.
//
// A writer asks for a channel and writes a line piece by piece through the
// record it gets; every write through a record of a disabled channel does
// nothing:
//   logger.channel(ScriptLogger::kMessage) << L"Internal error" << L"\n";
//
// Not thread-safe (SingleThreadPolicy): one thread writes.
#ifndef QUORVANE_COMMON_LOGGER_H_
#define QUORVANE_COMMON_LOGGER_H_

#include <array>
#include <cstddef>
#include <locale>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>

#include "platform/utf8_codecvt.h"

namespace Tavrin {

// The channel tags, in channel order. Each names its kind word.
namespace ScriptLogger {
#define QUORVANE_CHANNEL(word) \
  struct Channel_##word {      \
    static constexpr std::string_view name = #word; \
  }
QUORVANE_CHANNEL(message);
QUORVANE_CHANNEL(assert);
QUORVANE_CHANNEL(action);
QUORVANE_CHANNEL(screenshot);
QUORVANE_CHANNEL(param);
QUORVANE_CHANNEL(info);
QUORVANE_CHANNEL(suite);
QUORVANE_CHANNEL(testfile);
QUORVANE_CHANNEL(page);
QUORVANE_CHANNEL(element);
QUORVANE_CHANNEL(test);
QUORVANE_CHANNEL(result);
QUORVANE_CHANNEL(error);
QUORVANE_CHANNEL(stats);
QUORVANE_CHANNEL(verbose);
QUORVANE_CHANNEL(script);
#undef QUORVANE_CHANNEL

// Channel numbers, in the order above.
enum Channel : int {
  kMessage, kAssert, kAction, kScreenshot, kParam, kInfo, kSuite, kTestfile,
  kPage, kElement, kTest, kResult, kError, kStats, kVerbose, kScript
};
}  // namespace ScriptLogger

namespace Logger {

// Locking policy of a logger used by one thread only.
struct SingleThreadPolicy {};

template <class Stream, class Policy, class... Channels>
class Logger {
 public:
  static constexpr int kChannelCount = static_cast<int>(sizeof...(Channels));

  // One line's writer: the stream and whether the channel is on.
  class Record {
   public:
    Record(Stream* stream, bool enabled) : stream_(stream), enabled_(enabled) {}
    bool enabled() const { return enabled_; }
    template <class T>
    Record& operator<<(const T& value) {
      if (enabled_) *stream_ << value;
      return *this;
    }

   private:
    Stream* stream_;
    bool enabled_;
  };

  // Imbues `stream` with UTF-8 conversion and switches every channel on.
  // The stream must outlive the logger.
  explicit Logger(Stream& stream)
      : stream_(stream), previous_locale_(stream.imbue(Platform::utf8_locale(stream.getloc()))) {
    enabled_.fill(true);
  }
  // Flushes the stream and gives it back its previous locale.
  ~Logger() {
    stream_.flush();
    stream_.imbue(previous_locale_);
  }
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // The record of channel `number`; a number outside the channels gives a
  // record that writes nothing.
  Record channel(int number) {
    return Record(&stream_, number >= 0 && number < kChannelCount && enabled_[number]);
  }

  bool enabled(int number) const { return number >= 0 && number < kChannelCount && enabled_[number]; }
  void set_enabled(int number, bool on) {
    if (number >= 0 && number < kChannelCount) enabled_[number] = on;
  }

  // The kind word of channel `number` ("message", "assert", ...); empty
  // outside the channels.
  static std::string_view channel_name(int number) {
    static constexpr std::array<std::string_view, sizeof...(Channels)> names = {Channels::name...};
    return number >= 0 && number < kChannelCount ? names[number] : std::string_view();
  }

  // Switches on exactly the channels whose names occur anywhere in `level`
  // (plain, case-sensitive substring search on the narrowed text): "testfile"
  // also switches on "test"; an empty text switches every channel off.
  void set_level(const std::string& level) {
    for (int i = 0; i < kChannelCount; ++i)
      enabled_[i] = level.find(channel_name(i)) != std::string::npos;
  }

  Stream& stream() { return stream_; }

 private:
  Stream& stream_;
  std::locale previous_locale_;
  std::array<bool, sizeof...(Channels)> enabled_{};
};

// The console logger of the runner and of the runtime object.
using ConsoleLogger =
    Logger<std::wostream, SingleThreadPolicy, ScriptLogger::Channel_message, ScriptLogger::Channel_assert,
           ScriptLogger::Channel_action, ScriptLogger::Channel_screenshot, ScriptLogger::Channel_param,
           ScriptLogger::Channel_info, ScriptLogger::Channel_suite, ScriptLogger::Channel_testfile,
           ScriptLogger::Channel_page, ScriptLogger::Channel_element, ScriptLogger::Channel_test,
           ScriptLogger::Channel_result, ScriptLogger::Channel_error, ScriptLogger::Channel_stats,
           ScriptLogger::Channel_verbose, ScriptLogger::Channel_script>;

}  // namespace Logger
}  // namespace Tavrin

#endif  // QUORVANE_COMMON_LOGGER_H_

#include "proxy/pages/page_tokens.h"

#include <random>
#include <stdexcept>

namespace Tavrin::Proxy {

std::string make_token() {
  std::random_device device;
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 8; ++i) {
    const unsigned word = device() & 0xffffu;
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(word >> shift) & 0xfu];
  }
  return out;
}

std::string PageTokens::issue(const std::string& run, const std::string& origin) {
  if (run.empty()) throw std::invalid_argument("a page token belongs to a run");
  std::string token = make_token();
  std::lock_guard<std::mutex> lock(mutex_);
  uses_.push_back(token);
  tokens_[token] = Binding{run, origin, std::prev(uses_.end())};
  while (tokens_.size() > max_tokens_) {
    tokens_.erase(uses_.front());
    uses_.pop_front();
  }
  return token;
}

bool PageTokens::admits(std::string_view token, const std::string& run, const std::string& origin) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tokens_.find(std::string(token));
  if (it == tokens_.end() || run.empty() || it->second.run != run || it->second.origin != origin) return false;
  uses_.splice(uses_.end(), uses_, it->second.use);
  return true;
}

}  // namespace Tavrin::Proxy

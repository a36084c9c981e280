#include "platform/com/remote/local_server.h"

#include <thread>

#include <boost/system/system_error.hpp>

#include "platform/com/com_ptr.h"
#include "platform/com/remote/local_server_stub_internal.h"
#include "platform/com/remote/marshal_call_internal.h"
#include "platform/os_error.h"
#include "platform/process.h"
#include "platform/text.h"

namespace Tavrin::Platform::Com {
namespace {

namespace T = Transport;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long a client waits for a server it started to listen, and for a
// server's answer to its Hello.
constexpr milliseconds kStartTimeout{20000};
constexpr milliseconds kHelloTimeout{10000};
// How often a server that ends just as a client connects is tried again.
constexpr int kConnectAttempts = 3;

// A failure that decides the creation's result.
struct CreationFailure {
  HRESULT hr;
};

std::string class_name(const CLSID& clsid) { return to_utf8(guid_to_string(clsid)); }

// Starts the server (unless another client has just done so) and connects.
// The start lock keeps clients that find no server at the same moment from
// starting one each.
T::ScopedFd start_and_connect(const T::Endpoint& endpoint, const std::wstring& command_line) {
  std::optional<T::FileLock> starting = T::FileLock::acquire(endpoint.start_lock_path, kStartTimeout);
  if (!starting) throw CreationFailure{CO_E_SERVER_EXEC_FAILURE};
  if (T::ScopedFd fd = T::connect_to(endpoint.socket_path); fd.valid()) return fd;

  Process::StartOptions server;
  server.arguments = Process::split_command_line(command_line);
  if (server.arguments.empty()) throw CreationFailure{CO_E_SERVER_EXEC_FAILURE};
  // As on Windows, the server learns that the component system started it.
  server.arguments.push_back("-Embedding");
  server.output = Process::StartOptions::Output::kDiscard;
  const int pid = Process::start_detached(server);

  const auto deadline = Clock::now() + kStartTimeout;
  while (Clock::now() < deadline) {
    if (T::ScopedFd fd = T::connect_to(endpoint.socket_path); fd.valid()) return fd;
    if (!Process::process_exists(pid) && !T::lock_is_held(endpoint.server_lock_path)) break;
    std::this_thread::sleep_for(milliseconds(10));
  }
  throw CreationFailure{CO_E_SERVER_EXEC_FAILURE};
}

// A connection whose Hello the server answered, with that answer; nullopt
// when the server closed the connection unanswered (it was ending).
std::optional<std::pair<T::ScopedFd, HRESULT>> try_connect(const T::Endpoint& endpoint, const CLSID& clsid,
                                                           const std::wstring& command_line, const IID& iid) {
  T::ScopedFd fd = T::connect_to(endpoint.socket_path);
  if (!fd.valid()) fd = start_and_connect(endpoint, command_line);
  std::string reply;
  try {
    T::send_frame(fd.get(), Wire::encode_hello(clsid, iid));
    if (!T::receive_frame(fd.get(), reply, kHelloTimeout)) return std::nullopt;
  } catch (const boost::system::system_error& e) {
    if (e.code().value() == ETIMEDOUT) throw CreationFailure{CO_E_SERVER_EXEC_FAILURE};
    return std::nullopt;
  }
  try {
    return std::make_pair(std::move(fd), Wire::decode_status(reply));
  } catch (const Wire::WireError&) {
    throw CreationFailure{CO_E_SERVER_EXEC_FAILURE};
  }
}

}  // namespace

HRESULT create_local_server_instance(const CLSID& clsid, const std::wstring& server_command_line, const IID& iid,
                                     void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  try {
    const T::Endpoint endpoint = T::endpoint_for(class_name(clsid));
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
      auto connected = try_connect(endpoint, clsid, server_command_line, iid);
      if (!connected) continue;
      if (FAILED(connected->second)) return connected->second;
      ComPtr<IDispatch> stub = ComPtr<IDispatch>::attach(make_remote_object(std::move(connected->first)));
      return stub->QueryInterface(iid, object);
    }
    return CO_E_SERVER_EXEC_FAILURE;
  } catch (const CreationFailure& failure) {
    return failure.hr;
  } catch (const boost::system::system_error& e) {
    return hresult_from(e);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

std::optional<int> local_server_process(const CLSID& clsid) {
  try {
    const T::Endpoint endpoint = T::endpoint_for(class_name(clsid));
    const std::optional<std::string> holder = T::lock_holder_text(endpoint.server_lock_path);
    if (!holder || holder->empty()) return std::nullopt;
    return std::stoi(*holder);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace Tavrin::Platform::Com

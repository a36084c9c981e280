#include "runner/run_identity.h"

#include <cstdlib>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "platform/process_watch.h"
#include "platform/text.h"
#include "proxy/run_id.h"

namespace Tavrin {

bool IsRunIdentity(const std::string& id) { return Proxy::is_run_id(id); }

std::wstring TakeRunIdentity(int suite) {
  std::string id;
  if (suite > 0) {
    if (const char* inherited = std::getenv(kRunIdentityVariable); inherited && IsRunIdentity(inherited))
      id = inherited;
  }
  // A top-level run never takes one over: a run started from inside
  // another (a test of the tester's own scripts, say) is a run of its own.
  if (id.empty()) id = boost::uuids::to_string(boost::uuids::random_generator()());
  Platform::Process::set_own_environment(kRunIdentityVariable, id);
  return Platform::from_utf8(id);
}

}  // namespace Tavrin

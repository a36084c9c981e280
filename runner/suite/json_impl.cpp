// Boost.JSON built into this library (Debian ships it as headers only).
#include <boost/json/src.hpp>

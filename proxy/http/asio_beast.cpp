// The one translation unit that compiles Asio's and Beast's own function
// bodies. Every other file includes their headers as declarations only
// (BOOST_ASIO_SEPARATE_COMPILATION, BOOST_BEAST_SEPARATE_COMPILATION), so
// the library code is compiled once instead of in each file of the proxy.
#include <boost/asio/impl/src.hpp>
#include <boost/asio/ssl/impl/src.hpp>
#include <boost/beast/src.hpp>

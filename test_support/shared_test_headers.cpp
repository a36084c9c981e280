// The program that makes the precompiled header every test program shares
// (cmake/QuorvaneTest.cmake): GoogleTest, GoogleMock and the standard
// headers that most tests include, parsed once for the whole tree instead
// of once in each test source. It has no tests of its own.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// Whole .xlsx files written by real producers: the committed fixtures (see
// tests/fixtures/xlsx/make_fixtures.sh) and the shared corpus.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "XlsxPackage.h"

namespace gridlark::test {
namespace {

}  // namespace
}  // namespace gridlark::test

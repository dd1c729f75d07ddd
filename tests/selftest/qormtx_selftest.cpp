// Runs the library's self-test once; the ctest cases choose the test through ZUK_MTX_TEST.
#include "QORMtxBLA.h"

int main() {
  QORMtxBLA::Test();
  return 0;
}

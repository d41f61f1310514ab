#include <cstdio>

int main(int argc, char** argv) {
  std::puts("vorel_service: not yet assembled");
  return 0;
}

// Linked without -static on purpose: the PE checker must refuse this exe.
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  std::string name = argc > 0 ? argv[0] : "";
  std::cout << name.size() << '\n';
}

#include <cstdio>
int main() { std::puts("qirm-cli"); return 0; }

#include <cstdio>
int main() { std::puts("kivdemo"); return 0; }

#include "main/run.h"

int main(int argc, char** argv) { return runDulmar(argc, argv); }

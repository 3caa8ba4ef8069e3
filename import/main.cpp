// The import program.
#include "util.h"

int main(int argc, char **argv) { return import_main(argc, argv); }

#include "dumpcat.h"

int main(int argc, char **argv) { return dumpcat_main(argc, argv); }

#include "driver/job.h"

int main(int argc, char** argv) { return kestrun::RunProgram(argc, argv); }

#include "core/programbody.h"

int main(int argc, char **argv) { return qrv::RunProgram(argc, argv); }

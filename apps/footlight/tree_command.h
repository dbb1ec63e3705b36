// footlight tree run FILE[:CLASS]... [--resource DIR] [--frames N] [--eye X,Y,Z] [--at X,Y,Z]
//                    [--key B|O]...
//
// Loads render-geometry files into the module's adaptive binary tree, each with its blend class,
// rebuilds the render tree, looks from the eye at the point and runs the frames, printing what
// each culled and drew, then the shape of the render tree. The command reaches the tree only
// through its virtual operations, so it works as well with a module loaded by dlopen.
#pragma once
#include <string>
#include <vector>

#include "frame/dma_interface.h"

extern const char* const kTreeUsage;

// Runs the command on the arguments that follow "tree": 0 on success, 1 when a file does not
// load, 2 on bad arguments.
int RunTreeCommand(const std::vector<std::string>& args, DMAInterfaceFn entry);

// Linked into every fuzz target: the targets start with the tool's logging dropped (FuzzSupport::silenceLogging()).

#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::silenceLogging();
    return 0;
}

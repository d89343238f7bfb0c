// Program entry: everything happens in the start-up sequence.
#include "core/startup.h"

int main(int argc, char** argv)
{
    return StartUp(argc, argv);
}

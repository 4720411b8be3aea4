// Process entry point of the exchange. Start-up and the service roles live in
// the service library; this file only hands over the command line.
#include "service/process_start.h"

int main(int argc, char **argv)
{
    return VLMain(argc, argv);
}

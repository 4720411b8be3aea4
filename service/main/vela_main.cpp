// Process entry point of the exchange. Start-up and the service roles live in
// the service library; this file only hands over the command line.
int main(int argc, char **argv)
{
    (void)argc;
    (void)argv;
    return 0;
}

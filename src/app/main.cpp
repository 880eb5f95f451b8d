#include "quenzalapp.h"

int main(int argc, char *argv[])
{
    return QuenzalApp::run(argc, argv);
}

// Vellox, the window program: everything lives in the vellox library.
#include <QApplication>

#include "VelloxApplication.h"

int main(int argc, char** argv)
{
    return RunVellox(argc, argv);
}

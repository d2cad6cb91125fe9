// kestapp: the screensaver program.
#include "platform/Main.h"

#include "app/CProjectApplication.h"

// The one application object, built during static initialisation as the framework expects.
CProjectApplication theApplication;

int main(int argc, char** argv) {
    return platform::RunApplication(argc, argv);
}

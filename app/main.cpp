#include "MainApp.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    setApplicationIdentity();
    MainApp app(argc, argv);
    startUp(app);
    return app.exec();
}

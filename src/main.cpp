#include "shell/mdiform1.h"
#include "shell/startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    kestrune::prepareApplication(app);
    kestrune::MDIForm1 window;
    window.MDIForm_Load();
    window.show();
    return app.exec();
}

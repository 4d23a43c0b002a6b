#include "VelloxApplication.h"

#include <QApplication>
#include <QMessageBox>

#include "MessageQueuePump.h"
#include "com/ComApi.h"

int RunVellox(int argc, char** argv)
{
    OleInitialize(nullptr);
    int result = 0;
    {
        QApplication application(argc, argv);
        MessageQueuePump pump;
        QMessageBox::information(nullptr, QStringLiteral("Quillet"),
                                 QStringLiteral("The recorder window is not built yet."));
        result = 0;
    }
    OleUninitialize();
    return result;
}

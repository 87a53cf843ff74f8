#include "app/controller.h"

void Controller::downloadText()
{
}
void Controller::start_downloadText()
{
}
bool Controller::startListForLaunch(const QString&)
{
    return false;
}

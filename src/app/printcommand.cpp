#include "app/printcommand.h"

#include "app/mainwindow.h"

namespace qb {

void printShownReport(TForm1 &form)
{
    form.held([] {});
}

} // namespace qb

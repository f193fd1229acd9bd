#include "common/resources.h"

#include <QtCore/qglobal.h>
#include <QDir>

static void registerQuillboxResources() { Q_INIT_RESOURCE(quillbox); }

namespace qb {
void initResources() { registerQuillboxResources(); }
}

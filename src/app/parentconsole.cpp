#include "app/parentconsole.h"

void useParentConsole() {}

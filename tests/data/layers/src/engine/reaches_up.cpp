#include "gui/main_form.h"

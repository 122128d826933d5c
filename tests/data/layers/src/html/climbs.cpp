#include "../gui/main_form.h"
#include <engine/url_list.h>
#include <qwidget.h>
#include <vector>

#include "html/text_utils.h"
#include <string>
#include "ui_note.h"

#include "host/framing.h"

#include "text/KSUB.h"

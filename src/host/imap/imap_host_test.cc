#include "host/imap/imap_test_util.h"

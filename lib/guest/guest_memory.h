// GuestMemoryView, the guest memory the texture reader reads, is public.
#pragma once

#include "mivo/guest.h"

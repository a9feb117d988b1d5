// Download and Upload: NVM file 16-04 moved whole between the phone and
// SectionBuffer, with status texts on the window caption and failures of the
// phone shown in message boxes captioned "Error".
#pragma once

#include "TransferWindow.h"

void Download(TransferWindow& Window);
void Upload(TransferWindow& Window);

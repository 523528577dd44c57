#include "download/DownloadState.h"

bool DownloadState::s_bRunning = false;

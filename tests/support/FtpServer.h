#pragma once

#include "ServerProcess.h" // FtpServer

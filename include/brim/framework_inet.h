#pragma once
// The internet classes (CInternetSession, ...): filled as the network subsystem lands.

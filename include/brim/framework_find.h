#pragma once
// File finding (CFileFind): filled as the file-system subsystem lands.

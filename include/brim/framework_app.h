#pragma once
// The application object (CWinApp), resources and the folder chooser: filled as the environment subsystem lands.

#pragma once

// What screen readers are told of the window's own classes.

// Makes screen readers see every LinkLabel as a link, every CommandButton as a
// push button and the options window as a dialog. Idempotent.
void InstallAccessibility();

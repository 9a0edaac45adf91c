// The link's answers to a port that goes and comes back (the platform's port events).
#pragma once

// Registers the handlers with the platform (g_portEventHooks).
void BindPortEvents(void);
// The handlers, for the tests.
int OnPortLost(int portNumber, const char *name);
void OnPortReturned(int portNumber);
void OnPortHint(const char *text);

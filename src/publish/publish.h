// Publishing to the plant's broker (--mqtt): the glue between the tapping points of
// service_hooks.h and the broker client. RUN's frames go to PREFIX/frame, the identity after
// every probe that passed to PREFIX/identity, every status text to PREFIX/status.
#pragma once

class BrokerClient;

// Makes the client and attaches its sinks when the launch options asked for publishing
// (g_publishRequest); does nothing otherwise. Called by start-up after the service tools
// are installed (their probe sink takes the identity that this one publishes).
void InstallPublisher(void);
// Starts the client's network thread: it connects, and publishes the identity the start-up
// probe left. Called at the end of start-up, so that what the client has to tell (a
// refused password, a broker out of reach) follows the probe's texts on the status line.
void ConnectPublisher(void);
// Sends online "false", disconnects and detaches the sinks (shutdown).
void ShutdownPublisher(void);
// The client now running, or nullptr (tests).
const BrokerClient *CurrentPublisher(void);

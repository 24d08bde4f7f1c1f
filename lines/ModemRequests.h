#pragma once

// The answers a real serial port would give, for the requests a pty refuses.
// Each takes the descriptor's record, already recognised, and the request's
// argument; returns the ioctl result, setting errno on failure.

class PortRecord;

// The requests answered here; every other one goes to the real ioctl.
bool IsModemRequest(unsigned long request);

int AnswerModemRequest(const PortRecord &port, unsigned long request, void *arg);

// Replaced by the device subsystem.

// Replaced by the application object.

// Placeholder translation unit for a subsystem library that has no sources yet.

// Temporary until the controller lands in this folder.

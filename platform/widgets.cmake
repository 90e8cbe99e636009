# Filled in with the forms, controls, screen and window-shape pieces.

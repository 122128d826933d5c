window.addEventListener("load", function () {
  document.getElementById("clock").textContent =
    "The script ran at " + new Date().toLocaleTimeString() + ".";
});

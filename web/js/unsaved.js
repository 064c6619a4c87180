// Results the user has not saved: the page asks before it is closed or reloaded while any
// are left or a job runs, as the window asks before it closes. A browser asks only on a page
// the user has clicked or typed in, and in its own words.
const unsaved = new Set();
let running = () => false;

// `name` has results not saved since they were made (a pane's lines, a sheet's results, a
// study's rows), or has none left to lose (saved or cleared).
export function setUnsaved(name, value) {
  if (value) unsaved.add(name);
  else unsaved.delete(name);
}

export function watchUnload(jobRunning) {
  running = jobRunning;
  window.addEventListener('beforeunload', (event) => {
    if (!unsaved.size && !running()) return;
    event.preventDefault();
    event.returnValue = '';
  });
}
